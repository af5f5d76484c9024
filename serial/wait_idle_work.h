// Work that may run inside a long wait, such as repainting the window.
#pragma once

// The wait's end is fixed before the work starts, so work shorter than the
// wait does not lengthen it; it runs at most once per wait of at least
// kIdleWorkMinimumMs.
class WaitIdleWork {
 public:
  virtual void DuringWait() = 0;

 protected:
  ~WaitIdleWork() = default;
};
inline constexpr double kIdleWorkMinimumMs = 1.0;

// Installs work for the waits of one scope; the work installed before comes
// back when the scope ends.
class ScopedWaitIdleWork {
 public:
  explicit ScopedWaitIdleWork(WaitIdleWork& work);
  ~ScopedWaitIdleWork();
  ScopedWaitIdleWork(const ScopedWaitIdleWork&) = delete;
  ScopedWaitIdleWork& operator=(const ScopedWaitIdleWork&) = delete;

  // The work installed before, or null: work that joins the waits of an
  // inner scope runs it too, so that nothing installed outside is lost.
  WaitIdleWork* Previous() const { return previous_; }

 private:
  WaitIdleWork* previous_;
};
