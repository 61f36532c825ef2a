// Entry point of the trovik extension module: the interpreter calls PyInit_trovik on import.
// The module layer builds the module object and the Experiment type; run creation, JSON records
// and git provenance sit below it and know nothing of Python, apart from the one conversion of
// Python objects into JSON values.
#include <Python.h>

#include "module/module_init.h"

PyMODINIT_FUNC PyInit_trovik(void) { return trovik::module::initialize_module(); }
