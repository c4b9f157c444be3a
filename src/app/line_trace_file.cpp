#include "app/line_trace_file.h"
#include "platform/language.h"

#include <cerrno>
#include <cstring>

namespace vesk::app {

std::string TraceLine(const link::LineEvent& e) {
  char head[64];
  std::snprintf(head, sizeof head, "%lld.%06lld\t%c\t%d\t",
                static_cast<long long>(e.time_ns / 1'000'000'000),
                static_cast<long long>(e.time_ns % 1'000'000'000 / 1000), e.Direction(), e.address);
  std::string line = head;
  line += link::EscapeLineChars(e.chars);
  line += '\t';
  // Tabs and line ends inside a decoded text would break the columns.
  for (char c : link::DescribeLineEvent(e)) line += (c == '\t' || c == '\n' || c == '\r') ? ' ' : c;
  return line;
}

LineTraceFile::~LineTraceFile() {
  if (own_) std::fclose(file_);
}

bool LineTraceFile::Open(const std::string& path, std::string& error) {
  if (path == "-") {
    file_ = stderr;
    return true;
  }
  file_ = std::fopen(path.c_str(), "we");
  if (!file_) {
    error = platform::Tr("Не удалось создать файл трассировки \"") + path +
            "\": " + std::strerror(errno);
    return false;
  }
  own_ = true;
  return true;
}

void LineTraceFile::OnLineEvent(const link::LineEvent& event) {
  if (!file_) return;
  const std::string line = TraceLine(event);
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fputc('\n', file_);
  // A trace is read while the run goes on (tail -f) and must survive a crash.
  std::fflush(file_);
}

}  // namespace vesk::app
