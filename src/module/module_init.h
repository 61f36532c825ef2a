#pragma once

#include <Python.h>

namespace trovik::module {

// The body of PyInit_trovik: builds the module object (once per process) with its attributes
// Experiment and __all__, and returns a new reference, or NULL with an exception set.
PyObject* initialize_module();

}  // namespace trovik::module
