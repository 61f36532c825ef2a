#pragma once

#include <Python.h>

namespace trovik::module {

// The functions in the Experiment type's slots. Each returns a new reference, or NULL with an
// exception set; none lets a C++ exception escape.

// tp_new: Experiment(name, metadata=None) starts a run and returns its handle.
PyObject* experiment_new(PyTypeObject* type, PyObject* args, PyObject* kwargs);

// track(value, note=None): appends one track record and returns None.
PyObject* experiment_track(PyObject* self, PyObject* args, PyObject* kwargs);

// __enter__(): returns the object itself.
PyObject* experiment_enter(PyObject* self, PyObject* unused);

// __exit__(type, value, traceback): appends the run_end record that says how the block ended,
// unless this object already has, and returns False: an exception always propagates.
PyObject* experiment_exit(PyObject* self, PyObject* args);

// close(): appends a run_end record with status "completed" unless this object already has.
PyObject* experiment_close(PyObject* self, PyObject* unused);

// record_environment(): appends one environment record (interpreter, platform, packages, GPUs and
// a fixed list of environment variables).
PyObject* experiment_record_environment(PyObject* self, PyObject* unused);

// The read-only properties: a new str built from the stored field on every call.
PyObject* experiment_get_run_id(PyObject* self, void* closure);
PyObject* experiment_get_name(PyObject* self, void* closure);
PyObject* experiment_get_path(PyObject* self, void* closure);

}  // namespace trovik::module
