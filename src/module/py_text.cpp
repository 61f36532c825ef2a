#include "module/py_text.h"

#include "module/py_ref.h"

namespace trovik::module {

std::optional<std::string> utf8_text(PyObject* text) {
  if (text == nullptr || !PyUnicode_Check(text)) return std::nullopt;
  PyRef bytes(PyUnicode_AsEncodedString(text, "utf-8", "backslashreplace"));
  if (!bytes) {
    PyErr_Clear();
    return std::nullopt;
  }
  return std::string(PyBytes_AsString(bytes.get()), static_cast<size_t>(PyBytes_Size(bytes.get())));
}

}  // namespace trovik::module
