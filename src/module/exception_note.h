#pragma once

#include <Python.h>

#include <string_view>

namespace trovik::module {

// Adds `note` to `exception` through its add_note method, which exceptions have from Python 3.11
// on (looked up at run time: the module is built for 3.8). False when there is no such method or
// the call failed; either way no exception is left set.
bool add_exception_note(PyObject* exception, std::string_view note);

// The same for the exception being raised, which stays raised.
void add_note_to_raised_exception(std::string_view note);

}  // namespace trovik::module
