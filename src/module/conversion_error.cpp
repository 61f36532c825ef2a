#include "module/conversion_error.h"

#include <utility>

#include "module/py_ref.h"

namespace trovik::module {

std::string type_name(PyObject* object) {
  // The stable ABI at 3.8 has no PyType_GetName; the attribute is what it would return.
  PyRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (name && PyUnicode_Check(name.get())) {
    PyRef utf8(PyUnicode_AsUTF8String(name.get()));
    if (utf8) {
      const char* data = PyBytes_AsString(utf8.get());
      const Py_ssize_t size = PyBytes_Size(utf8.get());
      if (data != nullptr && size >= 0) return std::string(data, static_cast<size_t>(size));
    }
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

Status conversion_error(PyObject* object, const char* target) {
  // Appended piece by piece: "literal" + std::string trips a false -Wrestrict in GCC 12 at -O3.
  std::string message = "'";
  message += type_name(object);
  message += "' object cannot be converted to '";
  message += target;
  message += '\'';
  return Status::TypeError(std::move(message));
}

}  // namespace trovik::module
