#include "module/text_argument.h"

#include "module/conversion_error.h"
#include "module/exception_chain.h"
#include "module/py_ref.h"

namespace trovik::module {
namespace {

Result<std::string> extract_text(PyObject* object) {
  if (!PyUnicode_Check(object)) return conversion_error(object, "PyString");
  // PyUnicode_AsUTF8AndSize is not in the stable ABI before 3.10; this reads the string's own
  // data, so a str subclass gives its plain text whatever it overrides.
  PyRef utf8(PyUnicode_AsUTF8String(object));
  if (!utf8) return Status::PythonError();
  const char* data = PyBytes_AsString(utf8.get());
  const Py_ssize_t size = PyBytes_Size(utf8.get());
  if (data == nullptr || size < 0) return Status::PythonError();
  return std::string(data, static_cast<size_t>(size));
}

// Replaces the pending TypeError with the prefixed one.
Status prefix_pending_type_error(const char* parameter) {
  PyRef underlying = take_pending_exception();
  if (!underlying) return Status::InternalFault("a pending TypeError could not be fetched");
  PyRef shown(PyObject_Str(underlying.get()));
  if (!shown) return Status::PythonError();
  PyRef message(PyUnicode_FromFormat("argument '%s': %U", parameter, shown.get()));
  if (!message) return Status::PythonError();
  // The new error carries the underlying error's cause, not the underlying error itself.
  raise_with_cause(PyExc_TypeError, message.get(), PyRef(PyException_GetCause(underlying.get())));
  return Status::PythonError();
}

}  // namespace

Status with_argument_prefix(const char* parameter, Status error) {
  if (error.ok()) return error;
  if (error.kind() == ErrorKind::kTypeError) {
    return Status::TypeError(std::string("argument '") + parameter + "': " + error.message());
  }
  if (error.kind() == ErrorKind::kPythonError && PyErr_ExceptionMatches(PyExc_TypeError)) {
    return prefix_pending_type_error(parameter);
  }
  return error;
}

Result<std::string> text_argument(PyObject* object, const char* parameter) {
  Result<std::string> text = extract_text(object);
  if (!text.ok()) return with_argument_prefix(parameter, std::move(text).status());
  return text;
}

}  // namespace trovik::module
