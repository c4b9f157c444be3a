#pragma once
// The texts of the device's error replies and of the probe exchanges.

#include <cstdint>
#include <string>

namespace vesk::link {

// The message for the data of an "n.Err" reply: its first byte, taken as signed, is the
// device's error code. Returns false, leaving `text` empty, when there is no data.
bool ErrorReplyText(const uint8_t* data, int count, std::string& text);

// The message for a result of a probe exchange. Returns false, with an empty text, for
// codes other than 2 ... 6.
bool ProbeErrorText(int code, std::string& text);

}  // namespace vesk::link
