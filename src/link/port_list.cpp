#include "link/port_list.h"

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string_view>
#include <system_error>
#include <tuple>

#include "link/type_text.h"

namespace vesk::link {

namespace fs = std::filesystem;

namespace {

struct Entry {
  int group;  // 0 COM, 1 ttyACM, 2 ttyUSB, 3 by-id
  unsigned number;
  std::string name;
  bool operator<(const Entry& o) const {
    return std::tie(group, number, name) < std::tie(o.group, o.number, o.name);
  }
};

// The number after `prefix` when the whole name is prefix and digits.
bool Numbered(std::string_view name, std::string_view prefix, unsigned& number) {
  if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return false;
  std::string_view digits = name.substr(prefix.size());
  auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), number);
  return ec == std::errc() && end == digits.data() + digits.size();
}

// A serial core port reports type 0 (unknown) when no UART answered at its address.
bool RealUart(const fs::path& tty_dir) {
  std::ifstream in(tty_dir / "type");
  if (!in) return true;  // not a serial core port; its driver is enough
  int type = -1;
  in >> type;
  return type != 0;
}

bool HasDriver(const fs::path& tty_dir) {
  std::error_code ec;
  return fs::exists(tty_dir / "device" / "driver", ec);
}

}  // namespace

std::vector<std::string> SerialPortNames(const fs::path& sys_class_tty, const fs::path& by_id) {
  std::vector<Entry> entries;
  std::error_code ec;
  for (fs::directory_iterator it(sys_class_tty, ec), end; !ec && it != end; it.increment(ec)) {
    const std::string name = it->path().filename().string();
    const fs::path dir = it->path();
    unsigned n = 0;
    if (Numbered(name, "ttyS", n)) {
      if (HasDriver(dir) && RealUart(dir)) entries.push_back({0, n, "COM" + std::to_string(n + 1)});
    } else if (Numbered(name, "ttyACM", n)) {
      if (HasDriver(dir)) entries.push_back({1, n, name});
    } else if (Numbered(name, "ttyUSB", n)) {
      if (HasDriver(dir)) entries.push_back({2, n, name});
    }
  }
  ec.clear();
  for (fs::directory_iterator it(by_id, ec), end; !ec && it != end; it.increment(ec))
    entries.push_back({3, 0, (by_id / it->path().filename()).string()});

  std::sort(entries.begin(), entries.end());
  std::vector<std::string> names;
  names.reserve(entries.size());
  for (Entry& e : entries) names.push_back(std::move(e.name));
  return names;
}

std::string SerialPortList(const fs::path& sys_class_tty, const fs::path& by_id) {
  std::string text;
  for (const std::string& name : SerialPortNames(sys_class_tty, by_id)) {
    if (name.find(':') != std::string::npos) continue;
    if (!text.empty()) text += ':';
    text += name;
  }
  return text;
}

std::string DefaultPortName(std::string_view port_list) {
  std::string_view first;
  for (std::string_view name : TypeTextPieces(port_list)) {
    if (name.starts_with(kSerialByIdFolder)) return std::string(name);
    if (first.empty()) first = name;
  }
  return std::string(first);
}

}  // namespace vesk::link
