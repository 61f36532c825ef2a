#pragma once

namespace trovik::module {

// Where a fault was raised. std::source_location would do, but clang before 15 (and so the
// clang-tidy run over these files) cannot compile libstdc++'s version of it; the builtins behind it
// are in both compilers.
struct SourceLocation {
  const char* file;
  unsigned line;

  static constexpr SourceLocation current(const char* file = __builtin_FILE(),
                                          unsigned line = __builtin_LINE()) {
    return SourceLocation{file, line};
  }
  const char* file_name() const { return file; }
  unsigned line_number() const { return line; }
};

}  // namespace trovik::module
