#include "address_list.h"

#include <algorithm>
#include <charconv>

namespace vesk::link {

namespace {

std::optional<int32_t> Address(std::string_view text, int32_t max_address) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  int32_t value = 0;
  auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (ec != std::errc() || end != text.data() + text.size() || value < 0 || value > max_address)
    return std::nullopt;
  return value;
}

}  // namespace

std::optional<std::pair<int32_t, int32_t>> ParseAddressRange(std::string_view text,
                                                             int32_t max_address) {
  size_t dash = text.find('-');
  if (dash == std::string_view::npos) return std::nullopt;
  auto from = Address(text.substr(0, dash), max_address);
  auto to = Address(text.substr(dash + 1), max_address);
  if (!from || !to || *from > *to) return std::nullopt;
  return std::make_pair(*from, *to);
}

std::optional<std::vector<int32_t>> ParseAddressList(std::string_view text, int32_t max_address) {
  std::vector<int32_t> out;
  for (;;) {
    size_t comma = text.find(',');
    std::string_view item = text.substr(0, comma);
    if (item.find('-') != std::string_view::npos) {
      auto range = ParseAddressRange(item, max_address);
      if (!range) return std::nullopt;
      for (int32_t a = range->first; a <= range->second; ++a) out.push_back(a);
    } else {
      auto a = Address(item, max_address);
      if (!a) return std::nullopt;
      out.push_back(*a);
    }
    if (comma == std::string_view::npos) break;
    text.remove_prefix(comma + 1);
  }
  std::sort(out.begin(), out.end());
  out.erase(std::unique(out.begin(), out.end()), out.end());
  return out;
}

std::string PathForAddress(std::string_view path, int32_t address) {
  const std::string number = std::to_string(address);
  std::string out;
  bool replaced = false;
  for (size_t i = 0; i < path.size(); ++i) {
    if (path[i] == '%' && i + 1 < path.size() && path[i + 1] == 'a') {
      out += number;
      replaced = true;
      ++i;
    } else {
      out += path[i];
    }
  }
  if (replaced) return out;
  size_t slash = out.rfind('/');
  size_t name_start = slash == std::string::npos ? 0 : slash + 1;
  size_t dot = out.rfind('.');
  // A leading dot names a hidden file, not an extension.
  if (dot == std::string::npos || dot <= name_start) return out + "_" + number;
  return out.substr(0, dot) + "_" + number + out.substr(dot);
}

}  // namespace vesk::link
