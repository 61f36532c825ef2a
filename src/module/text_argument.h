#pragma once

#include <Python.h>

#include <string>

#include "util/status.h"

namespace trovik::module {

// The UTF-8 text of a str (or str subclass) argument named `parameter`. Anything else is the
// TypeError "argument '<parameter>': '<type>' object cannot be converted to 'PyString'". The
// encoding is strict: a lone surrogate raises the interpreter's UnicodeEncodeError unchanged.
Result<std::string> text_argument(PyObject* object, const char* parameter);

// A TypeError met while converting the argument `parameter` becomes a new TypeError
// "argument '<parameter>': <message>" whose __cause__ is the original's cause; other errors
// pass unchanged.
Status with_argument_prefix(const char* parameter, Status error);

}  // namespace trovik::module
