#pragma once
// Hands line events to an observer on another thread. The exchange never waits for that
// thread: when the queue is full the oldest event gives way and is counted as lost.

#include <cstddef>
#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "link/line_event.h"

namespace vesk::link {

class LineEventQueue : public LineObserver {
 public:
  explicit LineEventQueue(size_t capacity);

  void OnLineEvent(const LineEvent& event) override;

  // Moves the waiting events, oldest first, to the end of `out`.
  void TakeAll(std::vector<LineEvent>& out);

  size_t size() const;
  // Events lost to a full queue since the start.
  uint64_t dropped() const;

 private:
  const size_t capacity_;
  mutable std::mutex mutex_;
  std::deque<LineEvent> events_;
  uint64_t dropped_ = 0;
};

}  // namespace vesk::link
