#include "fault_injector.h"

#include <algorithm>
#include <string>
#include <vector>

#include "fault_names.h"
#include "link/frame_codec.h"

namespace vesk::sim {

namespace {

bool IsNibble(char c) {
  return c >= link::kNibbleZero && c <= link::kNibbleZero + 15;
}
bool IsHex(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F');
}

// Another character of the same class, so that the frame keeps its shape and only its
// checksum can tell.
char OtherChar(char c, uint64_t r) {
  if (IsNibble(c)) {
    int v = c - link::kNibbleZero;
    return static_cast<char>(link::kNibbleZero + (v + 1 + static_cast<int>(r % 15)) % 16);
  }
  if (IsHex(c)) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    int v = c <= '9' ? c - '0' : c - 'A' + 10;
    return kHex[(v + 1 + static_cast<int>(r % 15)) % 16];
  }
  return static_cast<char>(c ^ (1 << (r % 8)));
}

}  // namespace

FaultInjector::FaultInjector(const FaultOptions& options)
    : options_(options), state_(options.seed) {}

uint64_t FaultInjector::Next() {
  uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

double FaultInjector::Draw() {
  return static_cast<double>(Next() >> 11) * 0x1.0p-53;
}

std::optional<std::string> FaultInjector::Apply(std::string reply, Protocol protocol) {
  ++answers_;
  if (options_.mute_after && answers_ > *options_.mute_after) return std::nullopt;
  if (Happens(options_.drop)) return std::nullopt;
  if (protocol == Protocol::Lorn) {
    if (Happens(options_.wrong_hash)) reply = WithOtherHash(reply);
    if (Happens(options_.bad_data)) reply = WithBadData(reply);
    if (Happens(options_.bare_error)) reply = BareErrorFor(reply);
  }
  if (Happens(options_.corrupt) && reply.size() >= 3) {
    size_t at = 1 + Next() % (reply.size() - 2);
    reply[at] = OtherChar(reply[at], Next());
  }
  if (Happens(options_.garbage) && !reply.empty()) reply[0] = kGarbageStart;
  if (protocol == Protocol::Lorn) {
    if (Happens(options_.stray)) reply = FromOtherAddress(reply) + reply;
    if (Happens(options_.noise)) {
      std::string noise;
      for (size_t n = 1 + Next() % kMaxNoiseBytes; n > 0; --n)
        noise += kNoiseBytes[Next() % sizeof kNoiseBytes];
      reply = noise + reply;
    }
  }
  return reply;
}

namespace {

// The frame's hash and data changed by `change`, the length field and the checksum made
// to fit; the frame unchanged when it is not a LORN frame or the new data is too long.
template <typename Change>
std::string Reframed(const std::string& frame, Change change, bool other_address = false) {
  if (frame.size() < 14 || frame.size() % 2 != 0 || frame.size() > link::kMaxFrameChars)
    return frame;
  uint8_t bytes[link::kMaxFrameBytes];
  const size_t m = link::DecodeBuffer(frame.data() + 1, frame.size() - 2, bytes, sizeof bytes);
  const size_t n = bytes[1] & 0x0F;
  if (n + 6 != m) return frame;
  uint16_t hash = static_cast<uint16_t>(bytes[2] << 8 | bytes[3]);
  std::vector<uint8_t> data(bytes + 4, bytes + 4 + n);
  change(hash, data);
  if (data.size() > static_cast<size_t>(link::kMaxDataBytes)) return frame;
  if (other_address) bytes[0] ^= 1;
  bytes[1] = static_cast<uint8_t>((bytes[1] & 0xF0) | data.size());
  bytes[2] = static_cast<uint8_t>(hash >> 8);
  bytes[3] = static_cast<uint8_t>(hash);
  std::copy(data.begin(), data.end(), bytes + 4);
  const size_t length = data.size() + 4;
  const uint16_t crc = link::HashBuffer(bytes, length);
  bytes[length] = static_cast<uint8_t>(crc >> 8);
  bytes[length + 1] = static_cast<uint8_t>(crc);
  std::string out(2 * (length + 2) + 2, link::kFrameEnd);
  out.front() = link::kFrameStart;
  link::EncodeBuffer(bytes, length + 2, out.data() + 1, out.size() - 2);
  return out;
}

}  // namespace

std::string WithOtherHash(const std::string& frame) {
  return Reframed(frame, [](uint16_t& hash, auto&) {
    hash = hash == kWrongReplyHash ? kWrongReplyHash - 1 : kWrongReplyHash;
  });
}

std::string WithBadData(const std::string& frame) {
  return Reframed(frame, [](uint16_t& hash, std::vector<uint8_t>& data) {
    // Attribute replies keep their form: the fault is about values.
    if (hash != link::kAttributeHash) data.insert(data.begin(), kBadDataBytes, kBadDataByte);
  });
}

std::string FromOtherAddress(const std::string& frame) {
  return Reframed(
      frame, [](uint16_t&, auto&) {}, true);
}

std::string BareErrorFor(const std::string& frame) {
  return Reframed(frame, [](uint16_t& hash, std::vector<uint8_t>& data) {
    hash = link::kErrorReplyHash;
    data.clear();
  });
}

}  // namespace vesk::sim
