#include <optional>
#include <string>
#include <utility>

#include "module/argument_binding.h"
#include "module/experiment_methods.h"
#include "module/experiment_object.h"
#include "module/py_to_json.h"
#include "module/raise_status.h"
#include "module/slot_guard.h"
#include "module/text_argument.h"
#include "run/track.h"

namespace trovik::module {
namespace {

constexpr FunctionDescription kTrackArguments("Experiment.track()", "value", "note");

// The cheap checks come first: a wrong call converts no value and appends nothing.
PyObject* track(PyObject* self, PyObject* args, PyObject* kwargs) {
  Result<BoundArguments> bound = kTrackArguments.bind(args, kwargs);
  if (!bound.ok()) return raise_status(bound.status());
  auto [value_object, note_object] = bound.value();

  // The method descriptor already rejects other objects; this guards direct slot calls.
  Result<ExperimentObject*> experiment = experiment_object(self);
  if (!experiment.ok()) return raise_status(experiment.status());
  if (Status ended = check_not_ended(*experiment.value()); !ended.ok()) return raise_status(ended);
  const run::Run& run = experiment.value()->run;

  std::optional<std::string> note;
  if (note_object != nullptr && note_object != Py_None) {
    Result<std::string> text = text_argument(note_object, "note");
    if (!text.ok()) return raise_status(text.status());
    note = std::move(text).value();
  }

  // The value's text goes straight into the buffer that becomes the record's line.
  std::string text;
  Status converted =
      json::py_to_json_text(value_object, text, run::track_record_overhead(run, note));
  if (!converted.ok()) return raise_status(converted);

  // json.dumps may have let another thread end the run meanwhile.
  if (Status ended = check_not_ended(*experiment.value()); !ended.ok()) return raise_status(ended);
  if (Status status = run::track_value(run, std::move(text), note); !status.ok()) {
    return raise_status(status);
  }
  Py_IncRef(Py_None);
  return Py_None;
}

}  // namespace

PyObject* experiment_track(PyObject* self, PyObject* args, PyObject* kwargs) {
  return guard_slot([&] { return track(self, args, kwargs); });
}

}  // namespace trovik::module
