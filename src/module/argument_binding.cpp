#include "module/argument_binding.h"

#include <string>
#include <vector>

#include "module/py_ref.h"

namespace trovik::module {
namespace {

// 'a'; 'a' and 'b'; 'a', 'b', and 'c'.
std::string quoted_list(const std::vector<const char*>& names) {
  std::string text;
  for (size_t i = 0; i < names.size(); ++i) {
    if (i > 0) {
      if (names.size() > 2) text += ',';
      text += i + 1 == names.size() ? " and " : " ";
    }
    text += '\'';
    text += names[i];
    text += '\'';
  }
  return text;
}

}  // namespace

Status FunctionDescription::too_many_positional(Py_ssize_t given) const {
  return Status::TypeError(std::string(callable_name_) + " takes from " +
                           std::to_string(kRequired) + " to " + std::to_string(parameters_.size()) +
                           " positional arguments but " + std::to_string(given) +
                           (given == 1 ? " was" : " were") + " given");
}

Status FunctionDescription::unexpected_keyword(PyObject* key) const {
  // Built as Python text: a key may hold characters (lone surrogates) that UTF-8 cannot carry.
  PyRef shown(PyObject_Str(key));
  if (!shown) return Status::PythonError();
  PyRef message(PyUnicode_FromFormat("%s got an unexpected keyword argument '%U'", callable_name_,
                                     shown.get()));
  if (!message) return Status::PythonError();
  PyErr_SetObject(PyExc_TypeError, message.get());
  return Status::PythonError();
}

Status FunctionDescription::missing_required(const BoundArguments& slots) const {
  std::vector<const char*> missing;
  for (size_t i = 0; i < kRequired; ++i) {
    if (slots[i] == nullptr) missing.push_back(parameters_[i]);
  }
  if (missing.empty()) return Status::Ok();
  return Status::TypeError(std::string(callable_name_) + " missing " +
                           std::to_string(missing.size()) + " required positional " +
                           (missing.size() == 1 ? "argument" : "arguments") + ": " +
                           quoted_list(missing));
}

Result<BoundArguments> FunctionDescription::bind(PyObject* args, PyObject* kwargs) const {
  BoundArguments slots = {nullptr, nullptr};
  const Py_ssize_t positional = PyTuple_Size(args);
  if (positional < 0) return Status::PythonError();
  if (static_cast<size_t>(positional) > parameters_.size()) {
    return too_many_positional(positional);
  }
  for (Py_ssize_t i = 0; i < positional; ++i) slots[i] = PyTuple_GetItem(args, i);

  if (kwargs != nullptr) {
    Py_ssize_t position = 0;
    PyObject* key = nullptr;
    PyObject* value = nullptr;
    while (PyDict_Next(kwargs, &position, &key, &value)) {
      size_t index = parameters_.size();
      if (PyUnicode_Check(key)) {
        for (size_t i = 0; i < parameters_.size(); ++i) {
          if (PyUnicode_CompareWithASCIIString(key, parameters_[i]) == 0) index = i;
        }
      }
      if (index == parameters_.size()) return unexpected_keyword(key);
      if (slots[index] != nullptr) {
        return Status::TypeError(std::string(callable_name_) +
                                 " got multiple values for argument '" + parameters_[index] + "'");
      }
      slots[index] = value;
    }
  }

  if (Status missing = missing_required(slots); !missing.ok()) return missing;
  return slots;
}

}  // namespace trovik::module
