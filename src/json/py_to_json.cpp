#include "json/py_to_json.h"

#include <memory>
#include <string>
#include <string_view>

#include "json/reader.h"

namespace trovik::json {
namespace {

struct DecRef {
  void operator()(PyObject* object) const { Py_DecRef(object); }
};
using OwnedRef = std::unique_ptr<PyObject, DecRef>;

// The type name Python shows for an object: its type's __qualname__.
std::string type_name(PyObject* object) {
  OwnedRef name(PyObject_GetAttrString(reinterpret_cast<PyObject*>(Py_TYPE(object)), "__qualname__"));
  if (name) {
    OwnedRef utf8(PyUnicode_Check(name.get()) ? PyUnicode_AsUTF8String(name.get()) : nullptr);
    if (utf8) return std::string(PyBytes_AsString(utf8.get()), PyBytes_Size(utf8.get()));
  }
  PyErr_Clear();
  return "<failed to extract type name>";
}

// "json", created once and kept: the import below still goes through the import machinery on every
// call, so a replaced or reloaded json module is honoured.
PyObject* json_module_name() {
  static PyObject* name = PyUnicode_FromStringAndSize("json", 4);
  return name;
}

}  // namespace

Result<Value> py_to_json(PyObject* object) {
  PyObject* module_name = json_module_name();
  if (module_name == nullptr) return Status::PythonError();
  OwnedRef json_module(PyImport_Import(module_name));
  if (!json_module) return Status::PythonError();
  OwnedRef dumps(PyObject_GetAttrString(json_module.get(), "dumps"));
  if (!dumps) return Status::PythonError();
  OwnedRef arguments(PyTuple_Pack(1, object));
  if (!arguments) return Status::PythonError();
  OwnedRef text(PyObject_Call(dumps.get(), arguments.get(), nullptr));
  if (!text) return Status::PythonError();
  if (!PyUnicode_Check(text.get())) {
    return Status::TypeError("'" + type_name(text.get()) +
                             "' object cannot be converted to 'PyString'");
  }
  OwnedRef utf8(PyUnicode_AsUTF8String(text.get()));
  if (!utf8) return Status::PythonError();
  // Only the UTF-8 copy is read from here on: dropping the str now keeps a large value's peak
  // memory at two copies of its text instead of three.
  text.reset();
  const char* data = PyBytes_AsString(utf8.get());
  if (data == nullptr) return Status::PythonError();
  return read_json(std::string_view(data, static_cast<size_t>(PyBytes_Size(utf8.get()))));
}

}  // namespace trovik::json
