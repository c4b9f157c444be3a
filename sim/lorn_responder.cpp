#include "lorn_responder.h"

#include "link/frame_codec.h"
#include "platform/text.h"

namespace vesk::sim {

namespace {

constexpr int32_t kBroadcastAddress = 255;

const uint16_t kHashDev = link::NameHash("dev");
const uint16_t kHashVer = link::NameHash("ver");
const uint16_t kHashExit = link::NameHash("exit");
const uint16_t kHashInit = link::NameHash("INIT");

uint16_t Be16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] << 8 | p[1]);
}

struct Answer {
  uint16_t hash = 0;
  uint8_t data[15] = {};
  int count = 0;

  void Append(std::string_view bytes) {
    for (char c : bytes)
      if (count < 15) data[count++] = static_cast<uint8_t>(c);
  }
  void AppendByte(uint8_t b) {
    if (count < 15) data[count++] = b;
  }
};

Answer Refusal(uint8_t code) {
  Answer a;
  a.hash = link::kErrorReplyHash;
  a.AppendByte(code);
  return a;
}

class Responder {
 public:
  Responder(Device& device, const LornRequest& r, std::chrono::steady_clock::time_point now,
            LornOutcome& out)
      : device_(device), r_(r), now_(now), out_(out) {}

  Answer Identity(std::string_view utf8) {
    if (!r_.read) return Refusal(kErrReadOnly);
    if (r_.count != 0) return Refusal(kErrWrongSize);
    Answer a{r_.hash};
    a.Append(platform::Utf8ToCp1251(utf8));
    return a;
  }

  Answer Attributes() {
    // Read: [index hi, index lo,] hash; write: attribute byte first.
    int skip = r_.read ? 0 : 1;
    int rest = r_.count - skip;
    if (rest != 2 && rest != 4) return Refusal(kErrWrongSize);
    bool has_index = rest == 4;
    const uint8_t* body = r_.data + skip;
    uint16_t target = Be16(body + (has_index ? 2 : 0));
    int32_t index = has_index ? Be16(body) : -1;
    out_.index = index;
    auto indexed = device_.store().IndexedHash(target);
    if (!indexed) {
      return Refusal(device_.store().Knows(target) ? kErrNoAttributes : kErrUnknownHash);
    }
    if (*indexed != has_index) return Refusal(kErrWrongSize);
    StoredParameter* p = device_.store().find(target, index);
    if (!p) return Refusal(kErrIndexTooLarge);
    if (!p->has_attributes) return Refusal(kErrNoAttributes);
    if (!r_.read) {
      uint8_t wanted = r_.data[0] & (kAttrEditable | kAttrUser);
      if (wanted != p->attributes && !(p->attributes & kAttrUser)) return Refusal(kErrOwnedByMaker);
      p->attributes = wanted;
    }
    Answer a{r_.hash};
    a.AppendByte(p->attributes);
    for (int i = 0; i < rest; ++i) a.AppendByte(body[i]);
    return a;
  }

  // A value read or write of a parameter found at `p`; `index_bytes` how many trailing
  // data bytes carried the index.
  Answer value(StoredParameter& p, int index_bytes) {
    int value_bytes = r_.count - index_bytes;
    if (r_.read) {
      if (value_bytes != 0) return Refusal(kErrWrongSize);
    } else if (uint8_t code = device_.WriteValue(p, r_.data, value_bytes, now_); code != 0) {
      return Refusal(code);
    }
    Answer a{r_.hash};
    a.Append(device_.ReadValue(p, now_));
    for (int i = value_bytes; i < r_.count; ++i) a.AppendByte(r_.data[i]);
    return a;
  }

  Answer Configuration() {
    auto indexed = device_.store().IndexedHash(r_.hash);
    if (!*indexed) {
      StoredParameter* p = device_.store().find(r_.hash, -1);
      return value(*p, 0);
    }
    // A read carries only the index; a write carries the value and then the index.
    int min = r_.read ? 2 : 3;
    if (r_.count < min) return Refusal(kErrWrongSize);
    int32_t index = Be16(r_.data + r_.count - 2);
    out_.index = index;
    StoredParameter* p = device_.store().find(r_.hash, index);
    if (!p) return Refusal(kErrIndexTooLarge);
    return value(*p, 2);
  }

  std::optional<Answer> AnswerFor(int32_t offset) {
    DeviceStore& store = device_.store();
    if (StoredParameter* p = store.FindOperative(r_.hash, offset)) {
      out_.index = offset;
      return value(*p, 0);
    }
    if (offset > 0) {
      // Above the base address the device answers only for its operative parameters;
      // anything else there may be meant for a neighbour on the line.
      if (!store.KnowsOperative(r_.hash)) return std::nullopt;
      out_.index = offset;
      return Refusal(kErrIndexTooLarge);
    }
    if (r_.hash == kHashDev) return Identity(device_.device_name());
    if (r_.hash == kHashVer) return Identity(device_.version());
    if (r_.hash == kHashExit) {
      if (!r_.read) return Refusal(kErrReadOnly);
      if (r_.count != 0) return Refusal(kErrWrongSize);
      Answer a{r_.hash};
      a.AppendByte(0);
      a.AppendByte(0);
      a.AppendByte(device_.reset_code());
      return a;
    }
    if (r_.hash == kHashInit) {
      if (r_.count != 0) return Refusal(kErrWrongSize);
      out_.action = LornAction::Restart;
      return Answer{r_.hash};
    }
    if (r_.hash == link::kAttributeHash) return Attributes();
    if (store.IndexedHash(r_.hash)) return Configuration();
    return Refusal(store.Knows(r_.hash) ? kErrIndexTooLarge : kErrUnknownHash);
  }

 private:
  Device& device_;
  const LornRequest& r_;
  std::chrono::steady_clock::time_point now_;
  LornOutcome& out_;
};

}  // namespace

std::optional<LornRequest> ParseLornRequest(std::string_view chars, int32_t address_bits) {
  if (chars.size() < 14 || chars.size() > static_cast<size_t>(link::kMaxFrameChars) ||
      chars.front() != link::kFrameStart || chars.back() != link::kFrameEnd ||
      chars.size() % 2 != 0)
    return std::nullopt;
  std::string_view body = chars.substr(1, chars.size() - 2);
  for (char c : body)
    if (c < link::kNibbleZero || c > link::kNibbleZero + 15) return std::nullopt;
  uint8_t bytes[link::kMaxFrameBytes];
  size_t m = link::DecodeBuffer(body.data(), body.size(), bytes, sizeof bytes);
  int n = bytes[1] & 0x0F;
  if (static_cast<size_t>(n) + 6 != m) return std::nullopt;
  uint16_t sent = Be16(bytes + 4 + n);
  if (link::HashBuffer(bytes, 4 + n) != sent) return std::nullopt;

  LornRequest r;
  r.address = address_bits > 8 ? (bytes[0] << 3) | (bytes[1] >> 5) : bytes[0];
  r.read = (bytes[1] & 0x10) != 0;
  r.hash = Be16(bytes + 2);
  r.count = n;
  for (int i = 0; i < n; ++i) r.data[i] = bytes[4 + i];
  return r;
}

std::string LornFrame(int32_t address, int32_t address_bits, bool read, uint16_t hash,
                      const uint8_t* data, int count) {
  link::RequestFrame frame;
  if (!link::BuildRequest(read, hash, data, count, link::FrameAddress{address, address_bits, 0},
                          frame))
    return {};
  return std::string(frame.Text());
}

LornOutcome RespondLorn(Device& device, const LornRequest& request,
                        std::chrono::steady_clock::time_point now) {
  LornOutcome out;
  const NetSettings& net = device.network();
  if (request.address == kBroadcastAddress && net.address != kBroadcastAddress) {
    // Nobody answers a broadcast; the commands that make sense for all devices act.
    if (request.hash == link::kApplyHash) out.action = LornAction::Apply;
    if (request.hash == kHashInit && request.count == 0) out.action = LornAction::Restart;
    out.for_device = out.action != LornAction::None;
    return out;
  }
  int32_t offset = request.address - net.address;
  if (offset < 0 || offset > device.store().max_operative_offset()) return out;
  if (request.hash == link::kApplyHash) {
    out.for_device = offset == 0;
    if (out.for_device) out.action = LornAction::Apply;
    return out;
  }
  Responder responder(device, request, now, out);
  std::optional<Answer> a = responder.AnswerFor(offset);
  if (!a) return out;
  out.for_device = true;
  out.reply_hash = a->hash;
  out.reply =
      LornFrame(request.address, net.address_bits, request.read, a->hash, a->data, a->count);
  return out;
}

}  // namespace vesk::sim
