#include "frame_reader.h"

namespace vesk::sim {

std::optional<std::string> FrameReader::feed(char c) {
  if (c == start_) {
    frame_.assign(1, c);
    inFrame_ = true;
    return std::nullopt;
  }
  if (!inFrame_) return std::nullopt;
  if (frame_.size() >= maxLength_) {
    clear();
    return std::nullopt;
  }
  frame_.push_back(c);
  if (c != end_) return std::nullopt;
  std::string done = std::move(frame_);
  clear();
  return done;
}

}  // namespace vesk::sim
