#pragma once

#include <Python.h>

#include <exception>
#include <type_traits>
#include "module/source_location.h"

#include "module/internal_fault.h"

namespace trovik::module {

// Runs the body of a slot function so that no C++ exception ever crosses into the interpreter:
// anything thrown (std::bad_alloc included) becomes an internal fault reported at the slot, and
// the slot returns its failure value (NULL, or -1 for the int-returning slots).
template <typename Body>
auto guard_slot(Body&& body, SourceLocation where = SourceLocation::current()) noexcept
    -> decltype(body()) {
  using Return = decltype(body());
  static_assert(std::is_pointer_v<Return> || std::is_same_v<Return, int>);
  try {
    return body();
  } catch (const std::exception& e) {
    raise_internal_fault(e.what(), where);
  } catch (...) {
    raise_internal_fault("unknown C++ exception", where);
  }
  if constexpr (std::is_pointer_v<Return>) {
    return nullptr;
  } else {
    return -1;
  }
}

}  // namespace trovik::module
