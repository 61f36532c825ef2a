#include "module/module_init.h"

namespace trovik::module {
namespace {

PyModuleDef module_definition = {
    PyModuleDef_HEAD_INIT, "trovik", "", 0, nullptr, nullptr, nullptr, nullptr, nullptr,
};

}  // namespace

PyObject* initialize_module() { return PyModule_Create2(&module_definition, PYTHON_ABI_VERSION); }

}  // namespace trovik::module
