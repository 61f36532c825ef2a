#include "module/raise_status.h"

#include "module/internal_fault.h"
#include "module/py_ref.h"

namespace trovik::module {
namespace {

void set_with_message(PyObject* type, const std::string& message) {
  // The message is our own text; "replace" keeps a stray invalid byte from hiding the error.
  PyRef text(
      PyUnicode_DecodeUTF8(message.data(), static_cast<Py_ssize_t>(message.size()), "replace"));
  if (!text) return;
  // A str value (not a tuple) becomes the exception's single argument.
  PyErr_SetObject(type, text.get());
}

}  // namespace

void ensure_exception_set() noexcept {
  if (PyErr_Occurred() == nullptr) {
    PyErr_SetString(PyExc_SystemError, "attempted to fetch exception but none was set");
  }
}

PyObject* raise_status(const Status& status, SourceLocation where) noexcept {
  if (status.ok()) {
    raise_internal_fault("an error was raised from a successful status", where);
    return nullptr;
  }
  switch (status.kind()) {
    case ErrorKind::kTypeError:
      set_with_message(PyExc_TypeError, status.message());
      break;
    case ErrorKind::kValueError:
      set_with_message(PyExc_ValueError, status.message());
      break;
    case ErrorKind::kOSError:
      set_with_message(PyExc_OSError, status.message());
      break;
    case ErrorKind::kNotFound:
      set_with_message(PyExc_LookupError, status.message());
      break;
    case ErrorKind::kPythonError:
      ensure_exception_set();
      break;
    case ErrorKind::kInternalFault:
      raise_internal_fault(status.message(), where);
      break;
  }
  return nullptr;
}

}  // namespace trovik::module
