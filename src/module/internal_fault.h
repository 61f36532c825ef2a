#pragma once

#include <Python.h>

#include <string_view>
#include "module/source_location.h"

namespace trovik::module {

// The exception type of internal faults, pyo3_runtime.PanicException: a BaseException subclass,
// created on first use and kept for the life of the process, never added to the module. Returns
// a borrowed reference, or NULL with an exception set.
PyObject* panic_exception_type();

// Reports a failure that has no ordinary error path: writes "thread '<name>' panicked at
// <file>:<line>:\n<message>\n" to standard error, then sets PanicException with the message as its
// only argument. Any exception already set is replaced.
void raise_internal_fault(std::string_view message,
                          SourceLocation where = SourceLocation::current()) noexcept;

}  // namespace trovik::module
