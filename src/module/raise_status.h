#pragma once

#include <Python.h>

#include "module/source_location.h"

#include "util/status.h"

namespace trovik::module {

// The one place where a failure travelling as a value becomes a Python exception. TypeError,
// ValueError and OSError get the message as their only argument (so an OSError has errno None
// and is never one of its subclasses); a Python error is already set and stays as it is; an
// internal fault becomes PanicException, reported at `where`. Returns NULL, the value a failing
// slot hands back to the interpreter.
PyObject* raise_status(const Status& status,
                       SourceLocation where = SourceLocation::current()) noexcept;

// Sets SystemError "attempted to fetch exception but none was set" unless an exception is set:
// for interpreter calls that may fail without saying why.
void ensure_exception_set() noexcept;

}  // namespace trovik::module
