#include "module/py_to_json.h"

#include <string_view>

#include "json/canonical_json.h"
#include "json/non_finite_numbers.h"
#include "json/reader.h"
#include "module/conversion_error.h"
#include "module/exception_note.h"
#include "module/py_ref.h"
#include "module/raise_status.h"

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

constexpr std::string_view kNonFiniteNote =
    "NaN and the infinities have no JSON form: record such a number as None or as a string, "
    "e.g. loss if math.isfinite(loss) else None";

// A value that failed to read because json.dumps wrote NaN or Infinity into it raises its
// ValueError as it is, with a note on how to record such numbers.
Status explain_non_finite(Status status, std::string_view text) {
  if (status.ok() || status.kind() != ErrorKind::kValueError || !holds_non_finite_number(text)) {
    return status;
  }
  module::raise_status(status);
  module::add_note_to_raised_exception(kNonFiniteNote);
  return Status::PythonError();
}

std::string_view bytes_view(const module::PyRef& bytes) {
  return std::string_view(PyBytes_AsString(bytes.get()),
                          static_cast<size_t>(PyBytes_Size(bytes.get())));
}

}  // namespace

Result<Value> py_to_json(PyObject* object) {
  Result<module::PyRef> utf8 = dumps_utf8(object);
  if (!utf8.ok()) return std::move(utf8).status();
  Result<Value> value = read_json(bytes_view(utf8.value()));
  if (!value.ok()) return explain_non_finite(std::move(value).status(), bytes_view(utf8.value()));
  return value;
}

Status py_to_json_text(PyObject* object, std::string& out, size_t headroom) {
  Result<module::PyRef> utf8 = dumps_utf8(object);
  if (!utf8.ok()) return std::move(utf8).status();
  const std::string_view text = bytes_view(utf8.value());
  // The compact text is rarely longer than dumps() gave: its separators have no spaces, and
  // \u escapes shrink to their UTF-8 bytes.
  out.reserve(out.size() + text.size() + headroom);
  return explain_non_finite(write_canonical_json(text, out), text);
}

}  // namespace trovik::json
