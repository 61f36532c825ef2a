#pragma once

#include <Python.h>

namespace trovik::module {

// Pickling support. An Experiment reduces to the module function `_restore` and the run's saved
// fields; pickle finds `trovik._restore` by name, since the class itself lives in "builtins".
// Restoring checks every field, writes nothing and runs nothing: the copy appends to the same run
// file as the original. copy.copy and copy.deepcopy go the same way.

// Experiment.__reduce__(): (trovik._restore, fields). A new reference, or NULL with an exception.
PyObject* experiment_reduce(PyObject* self, PyObject* unused);

// trovik._restore(*fields): a new Experiment for the saved run; TypeError or ValueError when the
// fields are not those of a pickled Experiment.
PyObject* restore_experiment(PyObject* module, PyObject* args);

}  // namespace trovik::module
