#include <optional>
#include <string>

#include "module/exception_chain.h"
#include "module/exception_note.h"
#include "module/experiment_methods.h"
#include "module/experiment_object.h"
#include "module/observed_ending.h"
#include "module/py_ref.h"
#include "module/py_text.h"
#include "module/raise_status.h"
#include "module/slot_guard.h"
#include "run/run_end.h"

namespace trovik::module {
namespace {

// Appends the run_end record unless this object already has. Only a record that was written ends
// the run here: after a failed append (a full disk) close() can be tried again.
Status end_run(ExperimentObject& experiment, const ObservedEnding& observed) {
  if (experiment.ended) return Status::Ok();
  Status status = run::append_run_end(experiment.run, observed.ending, observed.exception);
  if (status.ok()) experiment.ended = true;
  return status;
}

PyObject* new_false() {
  Py_IncRef(Py_False);
  return Py_False;
}

// "OSError: No space left on device (os error 28)", the way the failure would have been raised.
std::string failure_text(const Status& status) {
  raise_status(status);
  PyRef raised = take_pending_exception();
  PyRef text(raised ? PyObject_Str(raised.get()) : nullptr);
  PyRef type_name(raised ? PyObject_GetAttrString(
                               reinterpret_cast<PyObject*>(Py_TYPE(raised.get())), "__name__")
                         : nullptr);
  PyRef line(text && type_name ? PyUnicode_FromFormat("%U: %U", type_name.get(), text.get())
                               : nullptr);
  if (!line) PyErr_Clear();
  return utf8_text(line.get()).value_or(status.ToString());
}

// The exception leaving the with block must reach the caller unchanged: the failure to record its
// end goes along as a note on it, or as a warning where exceptions have no notes.
void report_beside(PyObject* propagating, const run::Run& run, const Status& failure) {
  const std::string report = "trovik: the run_end record of run " + run.run_id +
                             " was not written: " + failure_text(failure);
  if (propagating != Py_None && add_exception_note(propagating, report)) return;
  if (PyErr_WarnEx(PyExc_RuntimeWarning, report.c_str(), 1) < 0) PyErr_Clear();
}

PyObject* enter_block(PyObject* self) {
  Result<ExperimentObject*> experiment = experiment_object(self);
  if (!experiment.ok()) return raise_status(experiment.status());
  Py_IncRef(self);
  return self;
}

PyObject* exit_block(PyObject* self, PyObject* args) {
  PyObject* type = nullptr;
  PyObject* value = nullptr;
  PyObject* traceback = nullptr;
  if (PyArg_UnpackTuple(args, "__exit__", 3, 3, &type, &value, &traceback) == 0) return nullptr;
  Result<ExperimentObject*> experiment = experiment_object(self);
  if (!experiment.ok()) return raise_status(experiment.status());
  if (experiment.value()->ended) return new_false();

  const ObservedEnding observed = observed_ending(type, value, traceback);
  Status status = end_run(*experiment.value(), observed);
  if (!status.ok()) {
    if (type == Py_None) return raise_status(status);
    report_beside(value, experiment.value()->run, status);
  }
  return new_false();
}

PyObject* close_run(PyObject* self) {
  Result<ExperimentObject*> experiment = experiment_object(self);
  if (!experiment.ok()) return raise_status(experiment.status());
  if (Status status = end_run(*experiment.value(), ObservedEnding{}); !status.ok()) {
    return raise_status(status);
  }
  Py_IncRef(Py_None);
  return Py_None;
}

}  // namespace

PyObject* experiment_enter(PyObject* self, PyObject* /*unused*/) {
  return guard_slot([&] { return enter_block(self); });
}

PyObject* experiment_exit(PyObject* self, PyObject* args) {
  return guard_slot([&] { return exit_block(self, args); });
}

PyObject* experiment_close(PyObject* self, PyObject* /*unused*/) {
  return guard_slot([&] { return close_run(self); });
}

}  // namespace trovik::module
