#include "trace_log.h"

#include <cerrno>
#include <cstring>

#include "lorn_responder.h"

namespace vesk::sim {

TraceLog::~TraceLog() {
  if (file_) std::fclose(file_);
}

bool TraceLog::Open(const std::string& path, std::string& error) {
  file_ = std::fopen(path.c_str(), "w");
  if (!file_) {
    error = "cannot write the trace " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string EscapeFrame(std::string_view chars) {
  std::string out;
  for (char ch : chars) {
    unsigned char c = static_cast<unsigned char>(ch);
    if (c == '\r')
      out += "\\r";
    else if (c == '\n')
      out += "\\n";
    else if (c == '\\')
      out += "\\\\";
    else if (c == '"')
      out += "\\\"";
    else if (c >= 0x20 && c < 0x7F)
      out += ch;
    else {
      char buf[5];
      std::snprintf(buf, sizeof buf, "\\x%02X", c);
      out += buf;
    }
  }
  return out;
}

std::optional<FrameInfo> LornFrameInfo(std::string_view chars, int32_t address_bits) {
  auto r = ParseLornRequest(chars, address_bits);
  if (!r) return std::nullopt;
  FrameInfo info;
  info.address = r->address;
  info.read = r->read;
  info.hash = r->hash;
  info.data.assign(reinterpret_cast<const char*>(r->data), r->count);
  return info;
}

void TraceLog::Record(double seconds, bool received, std::string_view chars,
                      const std::optional<FrameInfo>& info, std::string_view note) {
  if (!file_) return;
  std::fprintf(file_, "%.6f %s \"%s\"", seconds, received ? "RX" : "TX",
               EscapeFrame(chars).c_str());
  if (info) {
    std::fprintf(file_, " addr=%d flag=%d hash=%04X index=", info->address, info->read ? 1 : 0,
                 info->hash);
    if (info->index >= 0)
      std::fprintf(file_, "%d", info->index);
    else
      std::fputs("-", file_);
    std::fputs(" data=", file_);
    for (size_t i = 0; i < info->data.size(); ++i)
      std::fprintf(file_, "%s%02X", i ? " " : "", static_cast<unsigned char>(info->data[i]));
  }
  if (!note.empty()) std::fprintf(file_, " (%.*s)", static_cast<int>(note.size()), note.data());
  std::fputc('\n', file_);
  std::fflush(file_);
}

}  // namespace vesk::sim
