#include "state_file.h"

#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include "link/frame_codec.h"
#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr const char* kNetworkNameCode = "CHAr";
constexpr const char* kNetworkNameText = "CHAr*";
// A state file is a few kilobytes; a bigger one is no state file of ours.
constexpr std::streamoff kMaxStateBytes = 16 << 20;

struct Row {
  std::string name;
  int32_t index = -1;
  std::string line;
};

std::string Hex4(uint16_t v) {
  char buf[5];
  std::snprintf(buf, sizeof buf, "%04X", v);
  return buf;
}

std::string RowLine(std::string_view name, int32_t index, uint16_t hash, std::string_view attr,
                    std::string_view value) {
  std::string s(name);
  s += '\t';
  s += index < 0 ? std::string("-") : std::to_string(index);
  s += '\t';
  s += Hex4(hash);
  s += '\t';
  s += attr;
  s += '\t';
  s += EscapeValue(value);
  s += '\n';
  return s;
}

std::vector<std::string_view> SplitTabs(std::string_view line, size_t fields) {
  std::vector<std::string_view> out;
  while (out.size() + 1 < fields) {
    size_t tab = line.find('\t');
    if (tab == std::string_view::npos) break;
    out.push_back(line.substr(0, tab));
    line.remove_prefix(tab + 1);
  }
  out.push_back(line);
  return out;
}

// The network name as text from the four codes, or nullopt when they are not all there.
std::optional<std::string> NetworkName(Device& device, int32_t& first_index) {
  std::vector<const StoredParameter*> codes;
  for (const StoredParameter& p : device.store().parameters())
    if (!p.operative && p.name == kNetworkNameCode) codes.push_back(&p);
  if (codes.size() != 4) return std::nullopt;
  std::sort(codes.begin(), codes.end(), [](auto* a, auto* b) { return a->index < b->index; });
  first_index = codes[0]->index;
  std::string text;
  for (const StoredParameter* p : codes)
    link::AppendPackedChar(text, static_cast<unsigned>(ValueNumber(p->format, p->value)));
  return text;
}

}  // namespace

std::string EscapeValue(std::string_view text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\':
        out += "\\\\";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      case '\n':
        out += "\\n";
        break;
      default:
        out += c;
    }
  }
  return out;
}

bool UnescapeValue(std::string_view text, std::string& out) {
  out.clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\') {
      out += text[i];
      continue;
    }
    if (++i == text.size()) return false;
    switch (text[i]) {
      case '\\':
        out += '\\';
        break;
      case 't':
        out += '\t';
        break;
      case 'r':
        out += '\r';
        break;
      case 'n':
        out += '\n';
        break;
      default:
        return false;
    }
  }
  return true;
}

std::string DumpText(Device& device, std::chrono::steady_clock::time_point now) {
  device.Settle(now);
  std::vector<Row> rows;
  for (const StoredParameter& p : device.store().parameters()) {
    int32_t index = p.indexed || p.operative ? p.index : -1;
    std::string attr = p.has_attributes ? std::to_string(p.attributes) : "-";
    rows.push_back(
        Row{p.name, index, RowLine(p.name, index, p.hash, attr, ValueToText(p, p.value))});
  }
  int32_t first = 0;
  if (auto name = NetworkName(device, first))
    rows.push_back(
        Row{kNetworkNameText, -1,
            RowLine(kNetworkNameText, -1, link::NameHash(kNetworkNameText), "-", *name)});
  std::stable_sort(rows.begin(), rows.end(), [](const Row& a, const Row& b) {
    return a.name != b.name ? a.name < b.name : a.index < b.index;
  });
  std::string text;
  for (const Row& r : rows) text += r.line;
  return text;
}

bool WriteDump(const std::string& path, Device& device, std::chrono::steady_clock::time_point now,
               std::string& error) {
  std::string text = DumpText(device, now);
  std::string temp = path + ".tmp." + std::to_string(getpid());
  std::FILE* f = std::fopen(temp.c_str(), "w");
  if (!f) {
    error = "cannot write " + temp + ": " + std::strerror(errno);
    return false;
  }
  bool ok = std::fwrite(text.data(), 1, text.size(), f) == text.size();
  int err = errno;
  if (std::fclose(f) != 0 && ok) {
    ok = false;
    err = errno;
  }
  if (ok && std::rename(temp.c_str(), path.c_str()) != 0) {
    ok = false;
    err = errno;
  }
  if (!ok) {
    std::remove(temp.c_str());
    error = "cannot write " + path + ": " + std::strerror(err);
  }
  return ok;
}

bool LoadState(const std::string& path, Device& device, std::chrono::steady_clock::time_point now,
               std::string& error, std::vector<std::string>& warnings) {
  if (access(path.c_str(), F_OK) != 0 && errno == ENOENT) return true;
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = "cannot read the state " + path + ": " + std::strerror(errno);
    return false;
  }
  in.seekg(0, std::ios::end);
  if (in.tellg() > kMaxStateBytes) {
    error = "the state " + path + " is too big to be one";
    return false;
  }
  in.seekg(0);
  std::string line;
  int number = 0;
  auto fail = [&](const std::string& why) {
    error = path + ":" + std::to_string(number) + ": " + why;
    return false;
  };
  while (std::getline(in, line)) {
    ++number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    auto f = SplitTabs(line, 5);
    if (f.size() != 5) return fail("expected NAME, INDEX, HASH, ATTR and VALUE separated by tabs");
    std::string name(f[0]);
    int32_t index = -1;
    if (f[1] != "-") {
      auto [end, ec] = std::from_chars(f[1].data(), f[1].data() + f[1].size(), index);
      if (ec != std::errc() || end != f[1].data() + f[1].size() || index < 0)
        return fail("INDEX must be a whole number or \"-\"");
    }
    int attr = -1;
    if (f[3] != "-") {
      if (f[3].size() != 1 || f[3][0] < '0' || f[3][0] > '3')
        return fail("ATTR must be 0 ... 3 or \"-\"");
      attr = f[3][0] - '0';
    }
    std::string value;
    if (!UnescapeValue(f[4], value)) return fail("VALUE has a broken escape");

    if (name == kNetworkNameText) {
      link::PackedName codes;
      int32_t first = 0;
      if (!NetworkName(device, first)) continue;
      if (value.empty() || !link::PackNetworkName(value, codes))
        return fail("\"" + value + "\" is no network name");
      for (int pos = 0; pos < 4; ++pos)
        if (StoredParameter* p = device.store().FindByName(kNetworkNameCode, first + pos))
          device.LoadValue(*p, std::string(1, static_cast<char>(codes[pos])), now);
      continue;
    }
    StoredParameter* target = nullptr;
    for (StoredParameter& p : device.store().parameters()) {
      int32_t own = p.indexed || p.operative ? p.index : -1;
      if (p.name == name && own == index) {
        target = &p;
        break;
      }
    }
    if (!target) {
      std::string where = name;
      if (index >= 0) where.append(":").append(std::to_string(index));
      warnings.push_back(path + ":" + std::to_string(number) + ": the device has no " + where +
                         "; line skipped");
      continue;
    }
    if (target->role == LiveRole::InputStates) continue;  // the inputs decide that
    std::string stored, why;
    if (!ValueFromText(*target, value, stored, why) || !device.LoadValue(*target, stored, now))
      return fail(name + ": \"" + value + "\" " + (why.empty() ? "does not fit" : why));
    if (attr >= 0 && target->has_attributes) target->attributes = static_cast<uint8_t>(attr);
  }
  return true;
}

}  // namespace vesk::sim
