#pragma once

#include <Python.h>

#include <cstddef>
#include <string>

#include "json/value.h"
#include "util/status.h"

namespace trovik::json {

// Converts a Python object through the `json` module's dumps() and the module's own reader.
// Exceptions raised by Python code pass through (ErrorKind::kPythonError, exception left set);
// reader errors are ValueErrors; a dumps() result that is not a str is the TypeError
// "'<type>' object cannot be converted to 'PyString'".
Result<Value> py_to_json(PyObject* object);

// The same conversion, with the same errors, appending the value's compact text (the text
// write_json gives the value py_to_json returns) to `out` without building the value. Room is
// made beforehand for text as long as dumps() gave plus `headroom` bytes, so that a caller who
// wraps the text in more of its own need not move it again. On failure `out` is left as it was.
Status py_to_json_text(PyObject* object, std::string& out, size_t headroom);

}  // namespace trovik::json
