#include "module/experiment_type.h"

#include <utility>

#include "module/exception_chain.h"
#include "module/experiment_methods.h"
#include "module/experiment_object.h"
#include "module/experiment_pickle.h"
#include "module/py_ref.h"
#include "module/raise_status.h"

namespace trovik::module {
namespace {

// The name before "(" must be the type's short name: that is how the interpreter finds the text
// signature, which leaves __doc__ empty.
constexpr const char kClassDoc[] = "Experiment(name, metadata=None)\n--\n\n";

// Slot tables are passed as void*; the cast through void(*)() keeps -Wcast-function-type quiet
// for the keyword-taking method.
template <typename Function>
void* slot(Function* function) {
  return reinterpret_cast<void*>(function);
}

PyMethodDef methods[] = {
    {"track", reinterpret_cast<PyCFunction>(reinterpret_cast<void (*)()>(experiment_track)),
     METH_VARARGS | METH_KEYWORDS, "track($self, value, note=None)\n--\n\n"},
    {"close", experiment_close, METH_NOARGS, "close($self, /)\n--\n\n"},
    {"record_environment", experiment_record_environment, METH_NOARGS,
     "record_environment($self, /)\n--\n\n"},
    {"__enter__", experiment_enter, METH_NOARGS, "__enter__($self, /)\n--\n\n"},
    {"__exit__", experiment_exit, METH_VARARGS,
     "__exit__($self, exc_type, exc_value, traceback, /)\n--\n\n"},
    {"__reduce__", experiment_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyGetSetDef properties[] = {
    {"run_id", experiment_get_run_id, nullptr, "", nullptr},
    {"name", experiment_get_name, nullptr, "", nullptr},
    {"path", experiment_get_path, nullptr, "", nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

PyType_Slot slots[] = {
    {Py_tp_base, &PyBaseObject_Type},
    {Py_tp_doc, const_cast<char*>(kClassDoc)},
    {Py_tp_dealloc, slot(experiment_dealloc)},
    {Py_tp_new, slot(experiment_new)},
    {Py_tp_methods, methods},
    {Py_tp_getset, properties},
    {0, nullptr},
};

// Default flags only: no subclassing, no garbage collection, no __dict__, no weak references.
PyType_Spec type_spec = {
    "builtins.Experiment", static_cast<int>(sizeof(ExperimentObject)), 0, Py_TPFLAGS_DEFAULT, slots,
};

// Filled once, under the interpreter lock, and never emptied.
PyTypeObject* cached_type = nullptr;

void raise_initialization_error() {
  ensure_exception_set();
  PyRef cause = take_pending_exception();
  PyRef message(PyUnicode_FromString("An error occurred while initializing class Experiment"));
  if (!message) return;
  raise_with_cause(PyExc_RuntimeError, message.get(), std::move(cause));
}

}  // namespace

Result<PyTypeObject*> experiment_type() {
  if (cached_type == nullptr) {
    PyObject* created = PyType_FromSpec(&type_spec);
    if (created == nullptr) {
      raise_initialization_error();
      return Status::PythonError();
    }
    cached_type = reinterpret_cast<PyTypeObject*>(created);
  }
  return cached_type;
}

}  // namespace trovik::module
