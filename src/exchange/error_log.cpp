#include "exchange/error_log.h"

#include <cerrno>
#include <cstdio>

namespace vesk::exchange {

std::string ErrorLogLine(const link::Parameter& parameter) {
  std::string line = parameter.short_name;
  if (parameter.indexed) {
    line += ':';
    line += std::to_string(parameter.linear_index);
  }
  line += " - ";
  line += parameter.note;
  line += '\n';
  return line;
}

int AppendErrorLog(const std::string& path, const link::Parameter& parameter) {
  const std::string line = ErrorLogLine(parameter);
  std::FILE* f = std::fopen(path.c_str(), "ab");
  if (!f) return errno ? errno : EIO;
  int error = 0;
  if (std::fwrite(line.data(), 1, line.size(), f) != line.size()) error = errno ? errno : EIO;
  if (std::fclose(f) != 0 && error == 0) error = errno ? errno : EIO;
  return error;
}

}  // namespace vesk::exchange
