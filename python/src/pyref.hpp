// Owning references and small guards for the C API: PyRef owns one strong reference or
// nothing; ReleaseGil detaches the thread state; CriticalSection locks one object on
// free-threaded builds; OnceGuard runs process-wide initialisation exactly once.
#pragma once

#include <Python.h>

#include <atomic>
#include <utility>

namespace varnok::py {

// A null PyRef means a Python error is set (when it came from a failing call).
class PyRef {
 public:
  PyRef() noexcept = default;
  // Takes over a new reference (may be null).
  [[nodiscard]] static PyRef steal(PyObject* p) noexcept { return PyRef(p); }
  // Adds a reference to a borrowed object (may be null).
  [[nodiscard]] static PyRef borrow(PyObject* p) noexcept {
    Py_XINCREF(p);
    return PyRef(p);
  }

  PyRef(const PyRef&) = delete;
  PyRef& operator=(const PyRef&) = delete;
  PyRef(PyRef&& o) noexcept : p_(std::exchange(o.p_, nullptr)) {}
  PyRef& operator=(PyRef&& o) noexcept {
    if (this != &o) {
      PyObject* old = std::exchange(p_, std::exchange(o.p_, nullptr));
      Py_XDECREF(old);
    }
    return *this;
  }
  ~PyRef() { Py_XDECREF(p_); }

  [[nodiscard]] PyObject* get() const noexcept { return p_; }
  // Hands the reference on; this becomes null.
  [[nodiscard]] PyObject* release() noexcept { return std::exchange(p_, nullptr); }
  explicit operator bool() const noexcept { return p_ != nullptr; }

 private:
  explicit PyRef(PyObject* p) noexcept : p_(p) {}
  PyObject* p_ = nullptr;
};

// Detaches the calling thread from the interpreter for the guard's lifetime.
class ReleaseGil {
 public:
  ReleaseGil() noexcept : state_(PyEval_SaveThread()) {}
  ~ReleaseGil() { PyEval_RestoreThread(state_); }
  ReleaseGil(const ReleaseGil&) = delete;
  ReleaseGil& operator=(const ReleaseGil&) = delete;

 private:
  PyThreadState* state_;
};

// The per-object critical section of free-threaded builds; a no-op with the GIL.
class CriticalSection {
 public:
#ifdef Py_GIL_DISABLED
  explicit CriticalSection(PyObject* op) noexcept { PyCriticalSection_Begin(&cs_, op); }
  ~CriticalSection() { PyCriticalSection_End(&cs_); }
#else
  explicit CriticalSection(PyObject*) noexcept {}
#endif
  CriticalSection(const CriticalSection&) = delete;
  CriticalSection& operator=(const CriticalSection&) = delete;

#ifdef Py_GIL_DISABLED
 private:
  PyCriticalSection cs_;
#endif
};

// Runs `init` once per process; concurrent callers wait on a PyMutex, which detaches
// the waiting thread state, so the initialising thread can always make progress.
// `init` returns 0 on success, -1 with an exception set; a failed attempt is retried
// by the next caller.
class OnceGuard {
 public:
  template <class F>
  int run(F&& init) noexcept {
    if (done_.load(std::memory_order_acquire)) return 0;
    PyMutex_Lock(&mutex_);
    int rc = 0;
    if (!done_.load(std::memory_order_relaxed)) {
      rc = init();
      if (rc == 0) done_.store(true, std::memory_order_release);
    }
    PyMutex_Unlock(&mutex_);
    return rc;
  }

 private:
  PyMutex mutex_{};
  std::atomic<bool> done_{false};
};

}  // namespace varnok::py
