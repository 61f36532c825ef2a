#include "module/exception_note.h"

#include "module/py_ref.h"

namespace trovik::module {

bool add_exception_note(PyObject* exception, std::string_view note) {
  PyRef add_note(PyObject_GetAttrString(exception, "add_note"));
  if (!add_note) {
    PyErr_Clear();
    return false;
  }
  PyRef text(PyUnicode_DecodeUTF8(note.data(), static_cast<Py_ssize_t>(note.size()), "replace"));
  PyRef result(text ? PyObject_CallFunctionObjArgs(add_note.get(), text.get(), nullptr) : nullptr);
  if (!result) {
    PyErr_Clear();
    return false;
  }
  return true;
}

void add_note_to_raised_exception(std::string_view note) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  PyErr_Fetch(&type, &value, &traceback);
  PyErr_NormalizeException(&type, &value, &traceback);
  if (value != nullptr) add_exception_note(value, note);
  PyErr_Restore(type, value, traceback);
}

}  // namespace trovik::module
