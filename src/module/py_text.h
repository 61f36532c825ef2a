#pragma once

#include <Python.h>

#include <optional>
#include <string>

namespace trovik::module {

// The UTF-8 bytes of a str for a record or a message. A lone surrogate (an undecodable file name in
// a traceback) is written as its \udcXX escape rather than failing. Absent, with no exception
// left set, for anything that is not a str or cannot be encoded.
std::optional<std::string> utf8_text(PyObject* text);

}  // namespace trovik::module
