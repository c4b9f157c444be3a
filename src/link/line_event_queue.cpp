#include "link/line_event_queue.h"

#include <algorithm>
#include <iterator>

namespace vesk::link {

LineEventQueue::LineEventQueue(size_t capacity) : capacity_(std::max<size_t>(capacity, 1)) {}

void LineEventQueue::OnLineEvent(const LineEvent& event) {
  std::lock_guard lock(mutex_);
  if (events_.size() == capacity_) {
    events_.pop_front();
    ++dropped_;
  }
  events_.push_back(event);
}

void LineEventQueue::TakeAll(std::vector<LineEvent>& out) {
  std::deque<LineEvent> taken;
  {
    std::lock_guard lock(mutex_);
    taken.swap(events_);
  }
  out.insert(out.end(), std::make_move_iterator(taken.begin()),
             std::make_move_iterator(taken.end()));
}

size_t LineEventQueue::size() const {
  std::lock_guard lock(mutex_);
  return events_.size();
}

uint64_t LineEventQueue::dropped() const {
  std::lock_guard lock(mutex_);
  return dropped_;
}

}  // namespace vesk::link
