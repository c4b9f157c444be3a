#pragma once
// CSV as RFC 4180 has it, and the time stamps of the logs that use it.

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::app {

// The field as it goes into a row: quoted, with quotes doubled, when it holds a comma, a
// quote, a line end or blanks at either end; as it is otherwise.
std::string CsvField(std::string_view text);

// The fields joined by commas, without the line end.
std::string CsvRow(const std::vector<std::string>& fields);

// Local time in ISO 8601 with milliseconds and the offset: 2026-12-08T07:40:01.123+02:00.
std::string IsoTimeMs(std::chrono::system_clock::time_point when);

}  // namespace vesk::app
