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
#include "run/run_creation.h"

namespace trovik::module {
namespace {

constexpr FunctionDescription kNewArguments("Experiment.__new__()", "name", "metadata");

// Nothing reaches the disk before the arguments are bound and the name is text; the object is
// allocated only after the run_start record is written, so a failure leaves no half-made object.
PyObject* create(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  Result<BoundArguments> bound = kNewArguments.bind(args, kwargs);
  if (!bound.ok()) return raise_status(bound.status());
  auto [name_object, metadata_object] = bound.value();

  Result<std::string> name = text_argument(name_object, "name");
  if (!name.ok()) return raise_status(name.status());

  Result<run::PendingRun> pending = run::begin_run(std::move(name).value());
  if (!pending.ok()) return raise_status(pending.status());

  std::optional<json::Value> metadata;
  if (metadata_object != nullptr && metadata_object != Py_None) {
    Result<json::Value> converted = json::py_to_json(metadata_object);
    if (!converted.ok()) return raise_status(converted.status());
    metadata = std::move(converted).value();
  }

  Result<run::Run> started = run::start_run(std::move(pending).value(), metadata);
  if (!started.ok()) return raise_status(started.status());
  return new_experiment_object(type, std::move(started).value());
}

}  // namespace

PyObject* experiment_new(PyTypeObject* type, PyObject* args, PyObject* kwargs) {
  return guard_slot([&] { return create(type, args, kwargs); });
}

}  // namespace trovik::module
