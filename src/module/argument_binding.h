#pragma once

#include <Python.h>

#include <array>
#include <cstddef>

#include "util/status.h"

namespace trovik::module {

// The arguments of one call, in parameter order: borrowed references, NULL for an omitted
// optional parameter. They live as long as the call's argument tuple and keyword dictionary.
using BoundArguments = std::array<PyObject*, 2>;

// The signature of a callable with one required and one optional parameter, both positional or
// keyword, and no *args or **kwargs: what both the constructor and track() take.
class FunctionDescription {
 public:
  constexpr FunctionDescription(const char* callable_name, const char* first, const char* second)
      : callable_name_(callable_name), parameters_{first, second} {}

  // Binds positional arguments first, then the keywords in dictionary order; the first offending
  // argument decides the TypeError. `kwargs` may be NULL.
  Result<BoundArguments> bind(PyObject* args, PyObject* kwargs) const;

 private:
  static constexpr size_t kRequired = 1;

  Status too_many_positional(Py_ssize_t given) const;
  Status unexpected_keyword(PyObject* key) const;
  Status missing_required(const BoundArguments& slots) const;

  const char* callable_name_;
  std::array<const char*, 2> parameters_;
};

}  // namespace trovik::module
