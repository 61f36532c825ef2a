#include <optional>
#include <string>
#include <utility>

#include "module/py_to_json.h"
#include "module/argument_binding.h"
#include "module/experiment_methods.h"
#include "module/experiment_object.h"
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
  Result<const run::Run*> run = experiment_run(self);
  if (!run.ok()) return raise_status(run.status());

  std::optional<std::string> note;
  if (note_object != nullptr && note_object != Py_None) {
    Result<std::string> text = text_argument(note_object, "note");
    if (!text.ok()) return raise_status(text.status());
    note = std::move(text).value();
  }

  // The value's text goes straight into the buffer that becomes the record's line.
  std::string text;
  Status converted =
      json::py_to_json_text(value_object, text, run::track_record_overhead(*run.value(), note));
  if (!converted.ok()) return raise_status(converted);

  if (Status status = run::track_value(*run.value(), std::move(text), note); !status.ok()) {
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
