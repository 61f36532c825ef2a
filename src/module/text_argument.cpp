#include "module/text_argument.h"

#include "module/conversion_error.h"
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
  PyObject* raw_type = nullptr;
  PyObject* raw_value = nullptr;
  PyObject* raw_traceback = nullptr;
  PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
  PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
  PyRef type(raw_type);
  PyRef value(raw_value);
  PyRef traceback(raw_traceback);
  if (!value) return Status::InternalFault("a pending TypeError could not be fetched");

  PyRef shown(PyObject_Str(value.get()));
  if (!shown) return Status::PythonError();
  PyRef message(PyUnicode_FromFormat("argument '%s': %U", parameter, shown.get()));
  if (!message) return Status::PythonError();
  PyRef call_args(PyTuple_Pack(1, message.get()));
  if (!call_args) return Status::PythonError();
  PyRef replacement(PyObject_Call(PyExc_TypeError, call_args.get(), nullptr));
  if (!replacement) return Status::PythonError();
  // PyException_SetCause steals the (possibly NULL) reference that GetCause returned.
  PyException_SetCause(replacement.get(), PyException_GetCause(value.get()));
  PyErr_SetObject(PyExc_TypeError, replacement.get());
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
