#pragma once
// The device's side of the LORN protocol: which request frames it takes as its own,
// and what it answers (value, attributes, identity, refusal with an error code) or does
// (INIT, APLY).

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "device.h"

namespace vesk::sim {

// A request frame as the device decodes it.
struct LornRequest {
  int32_t address = 0;
  bool read = false;
  uint16_t hash = 0;
  uint8_t data[15] = {};
  int count = 0;
};

// Decodes the characters of one frame, from "#" to the carriage return, with the
// device's address length. Returns nullopt for anything a device must not answer: a
// length that is not that of a frame, a character outside "G" ... "V", a length field
// that disagrees with the frame, a wrong checksum.
std::optional<LornRequest> ParseLornRequest(std::string_view chars, int32_t address_bits);

// What the device does after answering.
enum class LornAction { None, Apply, Restart };

struct LornOutcome {
  bool for_device = false;  // addressed to this device (answered or acted on)
  std::string reply;        // the reply's characters; empty for no answer
  uint16_t reply_hash = 0;
  int32_t index = -1;  // the index the request named, -1 none
  LornAction action = LornAction::None;
};

// The device's answer to a decoded request. Frames for other addresses give an outcome
// with for_device false. At the broadcast address 255 only APLY and INIT are acted on,
// without answer.
LornOutcome RespondLorn(Device& device, const LornRequest& request,
                        std::chrono::steady_clock::time_point now);

// The line form of a frame from the device: `address`, the hash and the data, with the
// device's address length.
std::string LornFrame(int32_t address, int32_t address_bits, bool read, uint16_t hash,
                      const uint8_t* data, int count);

}  // namespace vesk::sim
