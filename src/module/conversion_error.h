#pragma once

#include <Python.h>

#include <string>

#include "util/status.h"

namespace trovik::module {

// The __qualname__ of the object's type, or "<failed to extract type name>" when it cannot be
// read as text (the lookup's exception is cleared).
std::string type_name(PyObject* object);

// TypeError "'<type name>' object cannot be converted to '<target>'": an argument or object of
// the wrong type.
Status conversion_error(PyObject* object, const char* target);

}  // namespace trovik::module
