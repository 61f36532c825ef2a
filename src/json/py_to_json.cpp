#include "json/py_to_json.h"

#include <string>
#include <string_view>

#include "json/reader.h"
#include "module/conversion_error.h"
#include "module/py_ref.h"

namespace trovik::json {
namespace {

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
  module::PyRef json_module(PyImport_Import(module_name));
  if (!json_module) return Status::PythonError();
  module::PyRef dumps(PyObject_GetAttrString(json_module.get(), "dumps"));
  if (!dumps) return Status::PythonError();
  module::PyRef arguments(PyTuple_Pack(1, object));
  if (!arguments) return Status::PythonError();
  module::PyRef text(PyObject_Call(dumps.get(), arguments.get(), nullptr));
  if (!text) return Status::PythonError();
  if (!PyUnicode_Check(text.get())) {
    return module::conversion_error(text.get(), "PyString");
  }
  module::PyRef utf8(PyUnicode_AsUTF8String(text.get()));
  if (!utf8) return Status::PythonError();
  // Only the UTF-8 copy is read from here on: dropping the str now keeps a large value's peak
  // memory at two copies of its text instead of three.
  text.reset();
  const char* data = PyBytes_AsString(utf8.get());
  if (data == nullptr) return Status::PythonError();
  return read_json(std::string_view(data, static_cast<size_t>(PyBytes_Size(utf8.get()))));
}

}  // namespace trovik::json
