#include <string>

#include "module/experiment_methods.h"
#include "module/experiment_object.h"
#include "module/raise_status.h"
#include "module/slot_guard.h"

namespace trovik::module {
namespace {

// Every field holds valid UTF-8 by construction; "replace" would show a stray byte as U+FFFD.
PyObject* text_property(PyObject* self, std::string run::Run::*field) {
  Result<const run::Run*> run = experiment_run(self);
  if (!run.ok()) return raise_status(run.status());
  const std::string& text = run.value()->*field;
  return PyUnicode_DecodeUTF8(text.data(), static_cast<Py_ssize_t>(text.size()), "replace");
}

}  // namespace

PyObject* experiment_get_run_id(PyObject* self, void* /*closure*/) {
  return guard_slot([&] { return text_property(self, &run::Run::run_id); });
}

PyObject* experiment_get_name(PyObject* self, void* /*closure*/) {
  return guard_slot([&] { return text_property(self, &run::Run::name); });
}

PyObject* experiment_get_path(PyObject* self, void* /*closure*/) {
  return guard_slot([&] { return text_property(self, &run::Run::path); });
}

}  // namespace trovik::module
