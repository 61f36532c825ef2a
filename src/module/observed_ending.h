#pragma once

#include <Python.h>

#include <optional>

#include "run/run_end.h"

namespace trovik::module {

// How a run ended, seen from the three arguments of __exit__ (all None when the block finished).
struct ObservedEnding {
  run::RunEnding ending = run::RunEnding::kCompleted;
  std::optional<run::EndException> exception;  // absent for a completed run
};

// Never fails: a fact the exception won't give (a __str__ that raises, a traceback that can't be
// formatted) becomes a fallback text or an absent traceback, and no exception is left set.
ObservedEnding observed_ending(PyObject* type, PyObject* value, PyObject* traceback);

}  // namespace trovik::module
