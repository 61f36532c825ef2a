#pragma once

#include <Python.h>

namespace trovik::module {

// The functions in the Experiment type's slots. Each returns a new reference, or NULL with an
// exception set; none lets a C++ exception escape.

// tp_new: Experiment(name, metadata=None) starts a run and returns its handle.
PyObject* experiment_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);

// track(value, note=None): appends one track record and returns None.
PyObject* experiment_track(PyObject* self, PyObject* args, PyObject* kwargs);

// The read-only properties: a new str built from the stored field on every call.
PyObject* experiment_get_run_id(PyObject* self, void* closure);
PyObject* experiment_get_name(PyObject* self, void* closure);
PyObject* experiment_get_path(PyObject* self, void* closure);

}  // namespace trovik::module
