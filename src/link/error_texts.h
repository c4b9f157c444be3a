#pragma once
// The texts of the device's error replies and of the probe exchanges.

#include <cstdint>
#include <string>

#include "link/probe_codec.h"

namespace vesk::link {

// The message for the data of an "n.Err" reply: its first byte, taken as signed, is the
// device's error code. Returns false, leaving `text` empty, when there is no data.
bool ErrorReplyText(const uint8_t* data, int count, std::string& text);

// The message for a failed probe exchange. Returns false, with an empty text, for Answered
// and Refused (nothing went wrong on the line).
bool ProbeErrorText(ProbeResult result, std::string& text);

}  // namespace vesk::link
