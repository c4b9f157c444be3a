#include "frame_reader.h"

namespace vesk::sim {

std::optional<std::string> FrameReader::Feed(char c) {
  if (c == start_) {
    frame_.assign(1, c);
    in_frame_ = true;
    return std::nullopt;
  }
  if (!in_frame_) return std::nullopt;
  if (frame_.size() >= max_length_) {
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
