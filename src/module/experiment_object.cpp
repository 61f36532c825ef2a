#include "module/experiment_object.h"

#include <memory>
#include <new>
#include <utility>

#include "module/conversion_error.h"
#include "module/experiment_type.h"
#include "module/raise_status.h"

namespace trovik::module {
namespace {

ExperimentObject* as_experiment(PyObject* object) {
  return reinterpret_cast<ExperimentObject*>(object);
}

}  // namespace

Result<ExperimentObject*> experiment_object(PyObject* object) {
  Result<PyTypeObject*> type = experiment_type();
  if (!type.ok()) return std::move(type).status();
  if (!PyType_IsSubtype(Py_TYPE(object), type.value())) {
    return conversion_error(object, "Experiment");
  }
  return as_experiment(object);
}

Result<const run::Run*> experiment_run(PyObject* object) {
  Result<ExperimentObject*> experiment = experiment_object(object);
  if (!experiment.ok()) return std::move(experiment).status();
  return &experiment.value()->run;
}

Status check_not_ended(const ExperimentObject& experiment) {
  if (!experiment.ended) return Status::Ok();
  return Status::ValueError("run " + experiment.run.run_id + " has ended");
}

PyObject* new_experiment_object(PyTypeObject* type, run::Run run) {
  // Slots of a heap type are readable through PyType_GetSlot from 3.4 on.
  auto alloc = reinterpret_cast<allocfunc>(PyType_GetSlot(type, Py_tp_alloc));
  PyObject* object = alloc != nullptr ? alloc(type, 0) : nullptr;
  if (object == nullptr) {
    ensure_exception_set();
    return nullptr;
  }
  // Moving the strings cannot throw, so no half-made object can escape.
  new (&as_experiment(object)->run) run::Run(std::move(run));
  as_experiment(object)->ended = false;
  return object;
}

void experiment_dealloc(PyObject* self) {
  PyTypeObject* type = Py_TYPE(self);
  std::destroy_at(&as_experiment(self)->run);
  auto free_slot = reinterpret_cast<freefunc>(PyType_GetSlot(type, Py_tp_free));
  free_slot(self);
  // Instances of heap types hold a reference to their type.
  Py_DecRef(reinterpret_cast<PyObject*>(type));
}

}  // namespace trovik::module
