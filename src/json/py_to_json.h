#pragma once

#include <Python.h>

#include "json/value.h"
#include "util/status.h"

namespace trovik::json {

// Converts a Python object through the `json` module's dumps() and the module's own reader.
// Exceptions raised by Python code pass through (ErrorKind::kPythonError, exception left set);
// reader errors are ValueErrors; a dumps() result that is not a str is the TypeError
// "'<type>' object cannot be converted to 'PyString'".
Result<Value> py_to_json(PyObject* object);

}  // namespace trovik::json
