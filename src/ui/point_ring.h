#pragma once
// The points of one plotted series in a ring whose room is made at once: an hour of fast
// polling keeps the memory the series took when it appeared, and the oldest point gives way
// without the others moving.

#include <QtGlobal>
#include <algorithm>
#include <cstddef>
#include <utility>
#include <vector>

namespace vesk::ui {

class PointRing {
 public:
  using Point = std::pair<qint64, double>;  // ms since the epoch, value

  explicit PointRing(size_t capacity) : slots_(std::max<size_t>(capacity, 1)) {}

  size_t size() const { return count_; }
  bool empty() const { return count_ == 0; }
  const Point& operator[](size_t i) const { return slots_[(first_ + i) % slots_.size()]; }
  const Point& front() const { return (*this)[0]; }
  const Point& back() const { return (*this)[count_ - 1]; }

  // Appends; a full ring drops its oldest point.
  void push_back(const Point& point) {
    if (count_ == slots_.size()) pop_front();
    slots_[(first_ + count_++) % slots_.size()] = point;
  }
  void pop_front() {
    first_ = (first_ + 1) % slots_.size();
    --count_;
  }
  // The index of the first point at or after `ms`; size() when there is none.
  size_t FirstFrom(qint64 ms) const {
    size_t low = 0, high = count_;
    while (low < high) {
      const size_t mid = low + (high - low) / 2;
      if ((*this)[mid].first < ms)
        low = mid + 1;
      else
        high = mid;
    }
    return low;
  }

 private:
  std::vector<Point> slots_;
  size_t first_ = 0;
  size_t count_ = 0;
};

}  // namespace vesk::ui
