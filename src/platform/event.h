#pragma once
// A waitable event on an eventfd, so that it can be polled beside file descriptors
// and timers in one wait.

namespace vesk::platform {

class Event {
 public:
  enum class Reset { Manual, Auto };
  explicit Event(Reset reset = Reset::Manual, bool initially_set = false);
  ~Event();
  Event(const Event&) = delete;
  Event& operator=(const Event&) = delete;

  void Set();
  void reset();
  // True when signalled; an auto-reset event is consumed by a successful check.
  bool IsSet();
  // Consumes the signal of an auto-reset event that WaitAny reported ready.
  // A manual-reset event stays set.
  bool Consume();
  int fd() const { return fd_; }
  bool Manual() const { return reset_ == Reset::Manual; }

 private:
  int fd_;
  Reset reset_;
};

}  // namespace vesk::platform
