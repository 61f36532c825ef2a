#include "module/internal_fault.h"

#include <unistd.h>

#include <cstdio>
#include <cstring>

#include "module/py_ref.h"

namespace trovik::module {
namespace {

constexpr const char kPanicExceptionDoc[] =
    "Raised when the module's native code fails in a way it cannot recover from.\n"
    "\n"
    "Like SystemExit, this exception derives from BaseException rather than Exception, so\n"
    "`except Exception` does not catch it: it will typically propagate all the way up and end\n"
    "the Python interpreter.\n";

// The cell is filled once, under the interpreter lock, and never emptied.
PyObject* panic_exception = nullptr;

// The compiler records the path it was given, which depends on the build directory; the
// diagnostic names the file relative to the source tree.
const char* source_relative(const char* file) {
  const char* found = nullptr;
  for (const char* p = std::strstr(file, "/src/"); p != nullptr; p = std::strstr(p + 1, "/src/")) {
    found = p;
  }
  return found != nullptr ? found + 1 : file;
}

// Python threads carry no operating-system name that helps here; only the main thread has an
// unambiguous one.
const char* thread_name() { return gettid() == getpid() ? "main" : "<unnamed>"; }

}  // namespace

PyObject* panic_exception_type() {
  if (panic_exception == nullptr) {
    panic_exception = PyErr_NewExceptionWithDoc("pyo3_runtime.PanicException", kPanicExceptionDoc,
                                                PyExc_BaseException, nullptr);
  }
  return panic_exception;
}

void raise_internal_fault(std::string_view message, SourceLocation where) noexcept {
  // Plain stdio: the diagnostic must get out even when allocation is what failed.
  (void)std::fprintf(stderr, "thread '%s' panicked at %s:%u:\n%.*s\n", thread_name(),
                     source_relative(where.file_name()), where.line_number(),
                     static_cast<int>(message.size()), message.data());
  (void)std::fflush(stderr);

  PyErr_Clear();
  PyObject* type = panic_exception_type();
  if (type == nullptr) return;  // its creation failure stays set
  PyRef text(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  PyErr_SetObject(type, text.get());
}

}  // namespace trovik::module
