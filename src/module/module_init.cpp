#include "module/module_init.h"

#include "module/conversion_error.h"
#include "module/experiment_pickle.h"
#include "module/experiment_type.h"
#include "module/py_ref.h"
#include "module/raise_status.h"
#include "module/slot_guard.h"
#include "util/status.h"

namespace trovik::module {
namespace {

// The one function is private: pickle needs a module-level name to rebuild an Experiment by.
PyMethodDef module_functions[] = {
    {"_restore", restore_experiment, METH_VARARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

// Single-phase initialisation: no per-module state, no slots, no hooks.
PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "trovik", "", 0, module_functions, nullptr, nullptr, nullptr, nullptr,
};

// The module object after the first successful initialisation; never cleared. The type object
// and everything the module's functions reach are process-wide, so a second module object would
// share them with the first: initialisation refuses instead.
PyObject* module_cell = nullptr;

Status append_to_all(PyObject* module, const char* name) {
  PyRef all(PyObject_GetAttrString(module, "__all__"));
  if (!all) {
    if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return Status::PythonError();
    PyErr_Clear();
    all.reset(PyList_New(0));
    if (!all) return Status::PythonError();
    if (PyObject_SetAttrString(module, "__all__", all.get()) < 0) return Status::PythonError();
  } else if (!PyList_Check(all.get())) {
    return conversion_error(all.get(), "PyList");
  }
  PyRef entry(PyUnicode_FromString(name));
  if (!entry || PyList_Append(all.get(), entry.get()) < 0) return Status::PythonError();
  return Status::Ok();
}

Status add_experiment_class(PyObject* module) {
  Result<PyTypeObject*> type = experiment_type();
  if (!type.ok()) return std::move(type).status();
  if (Status status = append_to_all(module, "Experiment"); !status.ok()) return status;
  if (PyObject_SetAttrString(module, "Experiment", reinterpret_cast<PyObject*>(type.value())) < 0) {
    return Status::PythonError();
  }
  return Status::Ok();
}

PyObject* initialize() {
  if (module_cell != nullptr) {
    PyErr_SetString(PyExc_ImportError,
                    "PyO3 modules compiled for CPython 3.8 or older may only be initialized once "
                    "per interpreter process");
    return nullptr;
  }
  PyRef module(PyModule_Create2(&module_definition, PYTHON_ABI_VERSION));
  if (!module) {
    ensure_exception_set();
    return nullptr;
  }
  // On failure the half-built module is released and the cell stays empty, so a later import
  // starts afresh.
  if (Status status = add_experiment_class(module.get()); !status.ok()) {
    return raise_status(status);
  }
  module_cell = module.release();
  Py_IncRef(module_cell);
  return module_cell;
}

}  // namespace

PyObject* initialize_module() {
  return guard_slot([] { return initialize(); });
}

}  // namespace trovik::module
