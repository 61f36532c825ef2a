#pragma once

#include <Python.h>

#include "run/run.h"
#include "util/status.h"

namespace trovik::module {

// The instance layout of Experiment: the object header, then the run's four fields. The fields
// are constructed in place once the run has started and destroyed by the deallocator.
struct ExperimentObject {
  PyObject ob_base;  // what PyObject_HEAD expands to, spelled out for clang-format
  run::Run run;
};

// The run behind an Experiment (or an instance of a subtype); anything else is the TypeError
// "'<type>' object cannot be converted to 'Experiment'".
Result<const run::Run*> experiment_run(PyObject* object);

// Wraps a started run in a new instance of `type`, allocated through the type's tp_alloc slot.
// Returns a new reference, or NULL with an exception set.
PyObject* new_experiment_object(PyTypeObject* type, run::Run run);

// tp_dealloc: destroys the fields, frees the memory through tp_free, then drops the instance's
// reference to its (heap) type.
void experiment_dealloc(PyObject* self);

}  // namespace trovik::module
