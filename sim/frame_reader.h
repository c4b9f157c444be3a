#pragma once
// Cuts a stream of received characters into frames that begin with a start character
// and end with an end character. Noise between frames is skipped, a start character
// inside a frame starts the frame again, and a frame that grows beyond its bound is
// dropped, so no input can make the reader hold more than one bounded frame.

#include <cstddef>
#include <optional>
#include <string>

namespace vesk::sim {

class FrameReader {
 public:
  FrameReader(char start, char end, size_t max_length)
      : start_(start), end_(end), max_length_(max_length) {
    frame_.reserve(max_length);
  }

  // Takes one character. Returns the whole frame (start to end character) when this
  // character completes one.
  std::optional<std::string> Feed(char c);

  // Forgets a partial frame.
  void clear() {
    frame_.clear();
    in_frame_ = false;
  }

 private:
  char start_;
  char end_;
  size_t max_length_;
  std::string frame_;
  bool in_frame_ = false;
};

}  // namespace vesk::sim
