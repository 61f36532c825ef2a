#include "module/exception_chain.h"

namespace trovik::module {

PyRef take_pending_exception() {
  PyObject* raw_type = nullptr;
  PyObject* raw_value = nullptr;
  PyObject* raw_traceback = nullptr;
  PyErr_Fetch(&raw_type, &raw_value, &raw_traceback);
  PyErr_NormalizeException(&raw_type, &raw_value, &raw_traceback);
  PyRef type(raw_type);
  PyRef value(raw_value);
  PyRef traceback(raw_traceback);
  if (value && traceback) PyException_SetTraceback(value.get(), traceback.get());
  return value;
}

void raise_with_cause(PyObject* type, PyObject* message, PyRef cause) {
  PyRef arguments(PyTuple_Pack(1, message));
  if (!arguments) return;
  PyRef error(PyObject_Call(type, arguments.get(), nullptr));
  if (!error) return;
  PyException_SetCause(error.get(), cause.release());  // steals, and accepts NULL
  PyErr_SetObject(type, error.get());
}

}  // namespace trovik::module
