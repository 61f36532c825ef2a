#pragma once

#include <Python.h>

#include "util/status.h"

namespace trovik::module {

// The Experiment type object (borrowed), created from its type spec (slot tables) on first use and
// kept for the life of the process. If creation fails, the error set is RuntimeError "An error
// occurred while initializing class Experiment" caused by the interpreter's error.
Result<PyTypeObject*> experiment_type();

}  // namespace trovik::module
