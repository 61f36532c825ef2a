#include <string>
#include <utility>

#include "module/experiment_methods.h"
#include "module/experiment_object.h"
#include "module/py_ref.h"
#include "module/raise_status.h"
#include "module/slot_guard.h"
#include "run/environment_record.h"
#include "util/unicode.h"

namespace trovik::module {
namespace {

// A str as the file system names it (surrogate escapes back to their bytes), for paths.
std::optional<std::string> file_system_bytes(PyObject* text) {
  if (text == nullptr || !PyUnicode_Check(text)) return std::nullopt;
  PyRef bytes(PyUnicode_EncodeFSDefault(text));
  if (!bytes) {
    PyErr_Clear();
    return std::nullopt;
  }
  return std::string(PyBytes_AsString(bytes.get()), static_cast<size_t>(PyBytes_Size(bytes.get())));
}

std::optional<std::string> text_of(PyObject* text) {
  std::optional<std::string> bytes = file_system_bytes(text);
  if (!bytes) return std::nullopt;
  return decode_utf8_lossy(*bytes);
}

// Read from sys and the interpreter's own version string: nothing is imported.
run::InterpreterFacts interpreter_facts() {
  run::InterpreterFacts facts;
  const std::string version = Py_GetVersion();  // "3.11.2 (main, ...) [GCC ...]"
  facts.version = version.substr(0, version.find(' '));

  // PySys_GetObject lends its result and sets no exception.
  if (PyObject* implementation = PySys_GetObject("implementation")) {
    PyRef name(PyObject_GetAttrString(implementation, "name"));
    if (!name) PyErr_Clear();
    facts.implementation = text_of(name.get()).value_or("");
  }
  facts.executable = text_of(PySys_GetObject("executable"));
  if (facts.executable && facts.executable->empty()) facts.executable.reset();

  PyObject* path = PySys_GetObject("path");
  if (path != nullptr && PyList_Check(path)) {
    const Py_ssize_t count = PyList_Size(path);
    for (Py_ssize_t i = 0; i < count; ++i) {
      // Entries that are not str are ignored by the import system too.
      if (std::optional<std::string> entry = file_system_bytes(PyList_GetItem(path, i))) {
        facts.search_path.push_back(std::move(*entry));
      }
    }
  }
  return facts;
}

PyObject* record_environment(PyObject* self) {
  Result<ExperimentObject*> experiment = experiment_object(self);
  if (!experiment.ok()) return raise_status(experiment.status());
  if (Status ended = check_not_ended(*experiment.value()); !ended.ok()) return raise_status(ended);
  const run::InterpreterFacts facts = interpreter_facts();
  if (Status status = run::append_environment(experiment.value()->run, facts); !status.ok()) {
    return raise_status(status);
  }
  Py_IncRef(Py_None);
  return Py_None;
}

}  // namespace

PyObject* experiment_record_environment(PyObject* self, PyObject* /*unused*/) {
  return guard_slot([&] { return record_environment(self); });
}

}  // namespace trovik::module
