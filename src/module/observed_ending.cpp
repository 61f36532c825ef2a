#include "module/observed_ending.h"

#include <string>

#include "module/py_ref.h"
#include "module/py_text.h"

namespace trovik::module {
namespace {

std::optional<std::string> text_attribute(PyObject* object, const char* name) {
  PyRef attribute(PyObject_GetAttrString(object, name));
  if (!attribute) PyErr_Clear();
  return utf8_text(attribute.get());
}

// "ValueError", "json.decoder.JSONDecodeError", "__main__.Diverged": the module first, except for
// builtins.
std::string qualified_name(PyObject* type) {
  std::string name = text_attribute(type, "__qualname__").value_or("<unknown>");
  const std::optional<std::string> module = text_attribute(type, "__module__");
  if (module && *module != "builtins") name = *module + "." + name;
  return name;
}

std::string message(PyObject* value) {
  if (value == Py_None) return "";
  PyRef text(PyObject_Str(value));
  if (!text) PyErr_Clear();
  // The words the interpreter itself prints for an exception whose str() fails.
  return utf8_text(text.get()).value_or("<exception str() failed>");
}

// The text a traceback.print_exception would print: chained exceptions and notes included.
std::optional<std::string> formatted_traceback(PyObject* type, PyObject* value,
                                               PyObject* traceback) {
  PyRef module(PyImport_ImportModule("traceback"));
  PyRef format(module ? PyObject_GetAttrString(module.get(), "format_exception") : nullptr);
  PyRef lines(format ? PyObject_CallFunctionObjArgs(format.get(), type, value, traceback, nullptr)
                     : nullptr);
  PyRef empty(lines ? PyUnicode_FromString("") : nullptr);
  PyRef joined(empty ? PyUnicode_Join(empty.get(), lines.get()) : nullptr);
  if (!joined) {
    PyErr_Clear();
    return std::nullopt;
  }
  return utf8_text(joined.get());
}

// sys.exit() with 0, None or False exits with status 0; anything else does not.
bool exits_successfully(PyObject* value) {
  if (value == Py_None) return true;
  PyRef code(PyObject_GetAttrString(value, "code"));
  if (!code) {
    PyErr_Clear();
    return false;
  }
  if (code.get() == Py_None) return true;
  if (!PyLong_Check(code.get())) return false;
  const long number = PyLong_AsLong(code.get());
  if (number == -1 && PyErr_Occurred() != nullptr) {
    PyErr_Clear();
    return false;
  }
  return number == 0;
}

}  // namespace

ObservedEnding observed_ending(PyObject* type, PyObject* value, PyObject* traceback) {
  // The class from the first argument, or from the exception when only that was given.
  PyObject* exception_class = nullptr;
  if (PyType_Check(type)) {
    exception_class = type;
  } else if (value != Py_None && PyExceptionInstance_Check(value)) {
    exception_class = reinterpret_cast<PyObject*>(Py_TYPE(value));
  }
  if (exception_class == nullptr) return ObservedEnding{};

  ObservedEnding observed;
  if (PyErr_GivenExceptionMatches(exception_class, PyExc_SystemExit)) {
    if (exits_successfully(value)) return ObservedEnding{};
    observed.ending = run::RunEnding::kFailed;
  } else if (PyErr_GivenExceptionMatches(exception_class, PyExc_KeyboardInterrupt)) {
    observed.ending = run::RunEnding::kInterrupted;
  } else {
    observed.ending = run::RunEnding::kFailed;
  }
  observed.exception = run::EndException{qualified_name(exception_class), message(value),
                                         formatted_traceback(exception_class, value, traceback)};
  return observed;
}

}  // namespace trovik::module
