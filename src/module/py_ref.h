#pragma once

#include <Python.h>

#include <utility>

namespace trovik::module {

// Owns one strong reference to a Python object (or none) and drops it when it goes out of scope,
// so every early return releases what the call had taken.
class PyRef {
 public:
  PyRef() = default;
  // Takes over a new reference; NULL (a failed API call) gives an empty PyRef.
  explicit PyRef(PyObject* owned) : object_(owned) {}
  // Takes a reference of its own to a borrowed object.
  static PyRef borrow(PyObject* borrowed) {
    Py_IncRef(borrowed);
    return PyRef(borrowed);
  }

  PyRef(PyRef&& other) noexcept : object_(other.release()) {}
  PyRef& operator=(PyRef&& other) noexcept {
    if (this != &other) reset(other.release());
    return *this;
  }
  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  ~PyRef() { reset(); }

  PyObject* get() const { return object_; }
  explicit operator bool() const { return object_ != nullptr; }
  // Hands the reference to the caller (for a slot's return value or a reference-stealing call).
  PyObject* release() { return std::exchange(object_, nullptr); }
  void reset(PyObject* owned = nullptr) {
    // Py_DecRef accepts NULL. The swap first: dropping the old object may run arbitrary code.
    PyObject* old = std::exchange(object_, owned);
    Py_DecRef(old);
  }

 private:
  PyObject* object_ = nullptr;
};

}  // namespace trovik::module
