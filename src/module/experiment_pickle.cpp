#include "module/experiment_pickle.h"

#include <cstdint>
#include <string>
#include <utility>

#include "module/conversion_error.h"
#include "module/experiment_object.h"
#include "module/experiment_type.h"
#include "module/py_ref.h"
#include "module/raise_status.h"
#include "module/slot_guard.h"
#include "run/portable_run.h"

namespace trovik::module {
namespace {

// The layout of the saved fields; a later layout gets a new number, so an old pickle is refused
// clearly rather than misread.
constexpr long kLayout = 1;
enum Field : Py_ssize_t {
  kLayoutField,
  kRunId,
  kName,
  kPath,
  kLocation,  // bytes: the working directory it was made from need not be UTF-8
  kStartSeconds,
  kStartNanoseconds,
  kWallStartSeconds,
  kWallStartNanoseconds,
  kBootId,
  kFieldCount
};

constexpr const char* kFieldNames[kFieldCount] = {
    "layout",
    "run_id",
    "name",
    "path",
    "location",
    "start seconds",
    "start nanoseconds",
    "wall start seconds",
    "wall start nanoseconds",
    "boot_id",
};

Status wrong_type(Field field, PyObject* object, const char* expected) {
  return Status::TypeError(std::string("pickled experiment field '") + kFieldNames[field] +
                           "' must be " + expected + ", not '" + type_name(object) + "'");
}

PyRef text(const std::string& utf8) {
  return PyRef(PyUnicode_DecodeUTF8(utf8.data(), static_cast<Py_ssize_t>(utf8.size()), "strict"));
}

Result<std::string> text_field(PyObject* fields, Field field) {
  PyObject* object = PyTuple_GetItem(fields, field);
  if (!PyUnicode_Check(object)) return wrong_type(field, object, "str");
  PyRef utf8(PyUnicode_AsUTF8String(object));
  if (!utf8) return Status::PythonError();
  return std::string(PyBytes_AsString(utf8.get()), static_cast<size_t>(PyBytes_Size(utf8.get())));
}

Result<std::string> bytes_field(PyObject* fields, Field field) {
  PyObject* object = PyTuple_GetItem(fields, field);
  if (!PyBytes_Check(object)) return wrong_type(field, object, "bytes");
  return std::string(PyBytes_AsString(object), static_cast<size_t>(PyBytes_Size(object)));
}

Result<int64_t> integer_field(PyObject* fields, Field field) {
  PyObject* object = PyTuple_GetItem(fields, field);
  if (!PyLong_Check(object)) return wrong_type(field, object, "int");
  const long long value = PyLong_AsLongLong(object);
  if (value == -1 && PyErr_Occurred() != nullptr) {
    // Too large for any clock reading: bad data, not an arithmetic failure.
    PyErr_Clear();
    return Status::ValueError(std::string("pickled experiment field '") + kFieldNames[field] +
                              "' is out of range");
  }
  return static_cast<int64_t>(value);
}

Result<run::PortableRun> saved_run(PyObject* fields) {
  const Py_ssize_t count = PyTuple_Size(fields);
  if (count != kFieldCount) {
    return Status::TypeError("pickled experiment must have " + std::to_string(kFieldCount) +
                             " fields, not " + std::to_string(count));
  }
  Result<int64_t> layout = integer_field(fields, kLayoutField);
  if (!layout.ok()) return std::move(layout).status();
  if (layout.value() != kLayout) {
    return Status::ValueError("pickled experiment has an unknown layout " +
                              std::to_string(layout.value()));
  }
  run::PortableRun saved;
  for (auto [field, target] : {std::pair{kRunId, &saved.run_id}, std::pair{kName, &saved.name},
                               std::pair{kPath, &saved.path}, std::pair{kBootId, &saved.boot_id}}) {
    Result<std::string> value = text_field(fields, field);
    if (!value.ok()) return std::move(value).status();
    *target = std::move(value).value();
  }
  Result<std::string> location = bytes_field(fields, kLocation);
  if (!location.ok()) return std::move(location).status();
  saved.location = std::move(location).value();
  for (auto [field, target] : {std::pair{kStartSeconds, &saved.start.seconds},
                               std::pair{kStartNanoseconds, &saved.start.nanoseconds},
                               std::pair{kWallStartSeconds, &saved.wall_start.seconds},
                               std::pair{kWallStartNanoseconds, &saved.wall_start.nanoseconds}}) {
    Result<int64_t> value = integer_field(fields, field);
    if (!value.ok()) return std::move(value).status();
    *target = value.value();
  }
  return saved;
}

// A new reference to the saved form of one field, or NULL with an exception set.
PyObject* field_object(const run::PortableRun& saved, Field field) {
  switch (field) {
    case kLayoutField:
      return PyLong_FromLong(kLayout);
    case kRunId:
      return text(saved.run_id).release();
    case kName:
      return text(saved.name).release();
    case kPath:
      return text(saved.path).release();
    case kLocation:
      return PyBytes_FromStringAndSize(saved.location.data(),
                                       static_cast<Py_ssize_t>(saved.location.size()));
    case kStartSeconds:
      return PyLong_FromLongLong(saved.start.seconds);
    case kStartNanoseconds:
      return PyLong_FromLongLong(saved.start.nanoseconds);
    case kWallStartSeconds:
      return PyLong_FromLongLong(saved.wall_start.seconds);
    case kWallStartNanoseconds:
      return PyLong_FromLongLong(saved.wall_start.nanoseconds);
    case kBootId:
      return text(saved.boot_id).release();
    case kFieldCount:
      break;
  }
  return nullptr;
}

PyObject* reduce(PyObject* self) {
  Result<const run::Run*> run = experiment_run(self);
  if (!run.ok()) return raise_status(run.status());
  const run::PortableRun saved = run::portable_run(*run.value());

  // Through the import system, as pickle itself will look the function up on loading.
  PyRef module(PyImport_ImportModule("trovik"));
  if (!module) return nullptr;
  PyRef restore(PyObject_GetAttrString(module.get(), "_restore"));
  if (!restore) return nullptr;

  PyRef fields(PyTuple_New(kFieldCount));
  if (!fields) return nullptr;
  for (Py_ssize_t i = 0; i < kFieldCount; ++i) {
    PyObject* item = field_object(saved, static_cast<Field>(i));
    // PyTuple_SetItem takes the reference over.
    if (item == nullptr || PyTuple_SetItem(fields.get(), i, item) < 0) return nullptr;
  }
  return PyTuple_Pack(2, restore.get(), fields.get());
}

PyObject* restore(PyObject* fields) {
  Result<run::PortableRun> saved = saved_run(fields);
  if (!saved.ok()) return raise_status(saved.status());
  Result<run::Run> run = run::restore_run(std::move(saved).value());
  if (!run.ok()) return raise_status(run.status());
  Result<PyTypeObject*> type = experiment_type();
  if (!type.ok()) return raise_status(type.status());
  return new_experiment_object(type.value(), std::move(run).value());
}

}  // namespace

PyObject* experiment_reduce(PyObject* self, PyObject* /*unused*/) {
  return guard_slot([&] { return reduce(self); });
}

PyObject* restore_experiment(PyObject* /*module*/, PyObject* args) {
  return guard_slot([&] { return restore(args); });
}

}  // namespace trovik::module
