#pragma once

#include <cassert>
#include <optional>
#include <string>
#include <utility>
#include <variant>

namespace trovik {

// Which Python exception a failure becomes once it reaches the module boundary. The core never
// touches Python; it only names the class.
enum class ErrorKind {
  kTypeError,
  kValueError,
  kOSError,
  // Something named does not exist (an unknown run): exit status 2 in the command, 404 from the
  // server, ValueError in the module (which never produces it).
  kNotFound,
  // Python code the module called has already set an exception; the boundary leaves it as it is.
  kPythonError,
  // No ordinary error path exists: becomes pyo3_runtime.PanicException.
  kInternalFault,
};

// Success, or the exception class and message of a failure. Errors travel as values through the
// core and become exceptions in one place.
class [[nodiscard]] Status {
 public:
  Status() = default;

  static Status Ok() { return {}; }
  static Status TypeError(std::string message) {
    return {ErrorKind::kTypeError, std::move(message)};
  }
  static Status ValueError(std::string message) {
    return {ErrorKind::kValueError, std::move(message)};
  }
  static Status OSError(std::string message) { return {ErrorKind::kOSError, std::move(message)}; }
  static Status NotFound(std::string message) { return {ErrorKind::kNotFound, std::move(message)}; }
  static Status PythonError() { return {ErrorKind::kPythonError, std::string()}; }
  static Status InternalFault(std::string message) {
    return {ErrorKind::kInternalFault, std::move(message)};
  }

  bool ok() const { return !error_.has_value(); }
  ErrorKind kind() const {
    assert(!ok());
    return error_->kind;
  }
  const std::string& message() const {
    assert(!ok());
    return error_->message;
  }
  // "ValueError: message", for test output and diagnostics.
  std::string ToString() const;

 private:
  struct Error {
    ErrorKind kind;
    std::string message;
  };
  Status(ErrorKind kind, std::string message) : error_(Error{kind, std::move(message)}) {}

  std::optional<Error> error_;
};

// A value or the Status of the failure that prevented it.
template <typename T>
class [[nodiscard]] Result {
 public:
  Result(T value) : state_(std::in_place_index<0>, std::move(value)) {}      // NOLINT: implicit
  Result(Status error) : state_(std::in_place_index<1>, std::move(error)) {  // NOLINT: implicit
    assert(!std::get<1>(state_).ok());
  }

  bool ok() const { return state_.index() == 0; }
  T& value() & { return std::get<0>(state_); }
  const T& value() const& { return std::get<0>(state_); }
  T&& value() && { return std::get<0>(std::move(state_)); }
  const Status& status() const& { return std::get<1>(state_); }
  Status&& status() && { return std::get<1>(std::move(state_)); }

 private:
  std::variant<T, Status> state_;
};

}  // namespace trovik
