#include "module/py_to_json.h"

#include <string_view>

#include "json/canonical_json.h"
#include "json/reader.h"
#include "module/conversion_error.h"
#include "module/py_ref.h"

namespace trovik::json {
namespace {

// An interned name, created on first use and kept for the life of the process (the interpreter
// lock guards the slot). A failed creation is retried on the next call.
PyObject* interned(PyObject*& slot, const char* text) {
  if (slot == nullptr) slot = PyUnicode_InternFromString(text);
  return slot;
}

// json.dumps(object) as UTF-8 bytes.
Result<module::PyRef> dumps_utf8(PyObject* object) {
  static PyObject* json_name = nullptr;
  static PyObject* dumps_name = nullptr;
  if (interned(json_name, "json") == nullptr || interned(dumps_name, "dumps") == nullptr) {
    return Status::PythonError();
  }
  // Through the import machinery on every call, so a replaced sys.modules["json"] is honoured,
  // but without the round trip through builtins.__import__ that PyImport_Import makes (which for a
  // package also runs the Python-level handling of a from-list).
  module::PyRef json_module(
      PyImport_ImportModuleLevelObject(json_name, nullptr, nullptr, nullptr, 0));
  if (!json_module) return Status::PythonError();
  module::PyRef dumps(PyObject_GetAttr(json_module.get(), dumps_name));
  if (!dumps) return Status::PythonError();
  module::PyRef text(PyObject_CallFunctionObjArgs(dumps.get(), object, nullptr));
  if (!text) return Status::PythonError();
  if (!PyUnicode_Check(text.get())) {
    return module::conversion_error(text.get(), "PyString");
  }
  // The str goes as soon as its UTF-8 copy exists: a large value's peak memory then holds two
  // copies of its text, not three.
  module::PyRef utf8(PyUnicode_AsUTF8String(text.get()));
  if (!utf8) return Status::PythonError();
  return utf8;
}

std::string_view bytes_view(const module::PyRef& bytes) {
  return std::string_view(PyBytes_AsString(bytes.get()),
                          static_cast<size_t>(PyBytes_Size(bytes.get())));
}

}  // namespace

Result<Value> py_to_json(PyObject* object) {
  Result<module::PyRef> utf8 = dumps_utf8(object);
  if (!utf8.ok()) return std::move(utf8).status();
  return read_json(bytes_view(utf8.value()));
}

Status py_to_json_text(PyObject* object, std::string& out, size_t headroom) {
  Result<module::PyRef> utf8 = dumps_utf8(object);
  if (!utf8.ok()) return std::move(utf8).status();
  const std::string_view text = bytes_view(utf8.value());
  // The compact text is rarely longer than dumps() gave: its separators have no spaces, and
  // \u escapes shrink to their UTF-8 bytes.
  out.reserve(out.size() + text.size() + headroom);
  return write_canonical_json(text, out);
}

}  // namespace trovik::json
