#pragma once
// A list of device addresses as a person types it: "16,17,20-25".

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::link {

// The addresses of `text`: items separated by commas, each a decimal address or a range
// "FROM-TO" (FROM <= TO), all within 0 ... `max_address`. Returns them sorted, each once;
// nullopt for an empty list, an empty item, anything not a decimal number, a reversed
// range or an address beyond `max_address`.
std::optional<std::vector<int32_t>> ParseAddressList(std::string_view text, int32_t max_address);

// "FROM-TO" with FROM <= TO within 0 ... `max_address`; nullopt otherwise.
std::optional<std::pair<int32_t, int32_t>> ParseAddressRange(std::string_view text,
                                                             int32_t max_address);

// The file of one device among several: every "%a" in `path` becomes the address; a
// path without one gets "_ADDRESS" before its extension ("conf.vesk" -> "conf_16.vesk",
// "conf" -> "conf_16").
std::string PathForAddress(std::string_view path, int32_t address);

}  // namespace vesk::link
