#pragma once
// The frame trace: one line per frame received and sent, so an engineer can read what
// travelled and what the device made of it.

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::sim {

// What a LORN frame carried, as the device decoded it.
struct FrameInfo {
  int32_t address = 0;
  bool read = false;
  uint16_t hash = 0;
  int32_t index = -1;  // -1: no index travelled
  std::string data;    // data bytes (index bytes included, as on the wire)
};

class TraceLog {
 public:
  TraceLog() = default;
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // Opens (truncates) the file. Returns false with the reason in `error`.
  bool Open(const std::string& path, std::string& error);
  bool IsOpen() const { return file_ != nullptr; }

  // One line: seconds, RX or TX, the characters escaped, and the decoded fields when
  // given. Each line is flushed, so the trace survives a killed simulator.
  void Record(double seconds, bool received, std::string_view chars,
              const std::optional<FrameInfo>& info, std::string_view note = {});

 private:
  std::FILE* file_ = nullptr;
};

// The characters of a frame for a text line: printable ASCII as it is, "\r", "\n", "\\",
// "\"" and "\xHH" for the rest.
std::string EscapeFrame(std::string_view chars);

// The decoded fields of a LORN frame (request or reply) whose checksum holds.
std::optional<FrameInfo> LornFrameInfo(std::string_view chars, int32_t address_bits);

}  // namespace vesk::sim
