#pragma once

#include <Python.h>

#include "module/py_ref.h"

namespace trovik::module {

// Takes the pending exception out of the error indicator, normalised and with its traceback
// attached; empty when none was set.
PyRef take_pending_exception();

// Raises `type(message)` with `cause` (which may be empty) as its __cause__. When building the new
// exception fails, that failure is what stays raised.
void raise_with_cause(PyObject* type, PyObject* message, PyRef cause);

}  // namespace trovik::module
