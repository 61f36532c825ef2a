#pragma once

#include <Python.h>

namespace trovik::module {

// Builds the module object (once per process) and returns a new reference, or NULL with an
// exception set.
PyObject* initialize_module();

}  // namespace trovik::module
