#pragma once

#include <Python.h>

#include "run/run.h"
#include "util/status.h"

namespace trovik::module {

// The instance layout of Experiment: the object header, then the run's fields. The fields are
// constructed in place once the run has started and destroyed by the deallocator.
struct ExperimentObject {
  PyObject ob_base;  // what PyObject_HEAD expands to, spelled out for clang-format
  run::Run run;
  // Set once this object has appended the run's run_end record. Not pickled: copies in worker
  // processes keep appending, and readers count their records after the end.
  bool ended;
};

// The object behind an Experiment (or an instance of a subtype); anything else is the TypeError
// "'<type>' object cannot be converted to 'Experiment'".
Result<ExperimentObject*> experiment_object(PyObject* object);

// The run behind an Experiment, with the same check.
Result<const run::Run*> experiment_run(PyObject* object);

// The ValueError "run <id> has ended" once this object has ended its run; nothing is appended
// after that.
Status check_not_ended(const ExperimentObject& experiment);

// Wraps a started run in a new instance of `type`, allocated through the type's tp_alloc slot.
// Returns a new reference, or NULL with an exception set.
PyObject* new_experiment_object(PyTypeObject* type, run::Run run);

// tp_dealloc: destroys the fields, frees the memory through tp_free, then drops the instance's
// reference to its (heap) type.
void experiment_dealloc(PyObject* self);

}  // namespace trovik::module
