// The characters that arrive for a request, through the code that the link runs on them:
// the LORN reply parse and checksum, the error reply text, the decoding of the value for
// every format and reserved name, and the reply checks of the probe protocols.
//
// Input: byte 0 chooses the road (low two bits) and the converter or probe mode (the rest),
// byte 1 is the probe address or a count modifier, the remaining bytes are the payload.
// Road 0: the payload is the received line as it is. Road 1: the payload is the byte form
// of a reply without its checksum, which is appended and encoded as the device would, so
// that the decoding behind the checksum gets well-formed frames too. Road 2: the payload
// is reply data straight into the converter. Road 3: the payload is a probe reply.

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "link/error_texts.h"
#include "link/frame_codec.h"
#include "link/parameter.h"
#include "link/probe_codec.h"
#include "link/serial_port.h"
#include "link/value_codec.h"
#include "platform/text.h"
#include "reply_converters.h"
#include "silent_presenter.h"

namespace {

using namespace vesk::link;
using vesk::fuzz::kConverterCount;
using vesk::fuzz::kConverters;
using vesk::fuzz::ValidUtf8;

// Decodes `count` bytes the way the link stores a value, with the data in a heap block of
// exactly that size, so that a read past what the device sent is caught.
void decode_value(const ValueCodec& converter, const uint8_t* data, int count) {
  std::unique_ptr<uint8_t[]> exact;
  if (count > 0) {
    exact.reset(new uint8_t[static_cast<size_t>(count)]);
    std::memcpy(exact.get(), data, static_cast<size_t>(count));
  }
  std::string text;
  const int r = converter.ConvertFromData(exact.get(), count, text);
  VESK_FUZZ_CHECK(r >= -1 && r <= 1);
  if (r != 0) {
    VESK_FUZZ_CHECK(ValidUtf8(text));
    VESK_FUZZ_CHECK(vesk::platform::Utf8Length(text) <= kMaxValueChars);
  }
  // The same data must give the same text: nothing but the data decides the value.
  std::string again;
  VESK_FUZZ_CHECK(converter.ConvertFromData(exact.get(), count, again) == r);
  if (r != 0) VESK_FUZZ_CHECK(again == text);
}

// What transact and exchange do with the characters of one reply.
void reply_road(std::string_view line, const ValueCodec& converter) {
  // The port keeps no more than its buffer holds.
  if (line.size() > kReplyCapacity) line = line.substr(0, kReplyCapacity);
  if (line.size() < 2 || line[0] != kFrameStart) return;

  ReplyFrame parsed;
  const bool ok = ParseReply(line, parsed);
  if (!ok) {
    VESK_FUZZ_CHECK(parsed.count == 0);
    return;
  }
  // Everything the parse hands on must be in the characters that arrived, under a
  // checksum that holds.
  uint8_t bytes[kMaxFrameBytes];
  const size_t m = DecodeBuffer(line.data() + 1, line.size() - 2, bytes, sizeof bytes);
  VESK_FUZZ_CHECK((line.size() - 2) / 2 == m);
  VESK_FUZZ_CHECK(parsed.count >= 0 && parsed.count <= kMaxDataBytes);
  VESK_FUZZ_CHECK(parsed.count == (bytes[1] & 0x0F));
  VESK_FUZZ_CHECK(static_cast<size_t>(parsed.count) + 6 <= m);
  VESK_FUZZ_CHECK(parsed.hash == (bytes[2] << 8 | bytes[3]));
  VESK_FUZZ_CHECK(std::memcmp(parsed.data, bytes + 4, static_cast<size_t>(parsed.count)) == 0);
  VESK_FUZZ_CHECK(parsed.received_checksum == parsed.local_checksum);
  VESK_FUZZ_CHECK(parsed.local_checksum == HashBuffer(bytes, m - 2));

  if (parsed.hash == kErrorReplyHash) {
    std::string error;
    const bool known = ErrorReplyText(parsed.data, parsed.count, error);
    VESK_FUZZ_CHECK(known == (parsed.count > 0));
    VESK_FUZZ_CHECK(known != error.empty());
    VESK_FUZZ_CHECK(ValidUtf8(error));
    return;
  }
  // The attribute reply: its first byte becomes the attributes.
  if (parsed.count == 3 || parsed.count == 5) {
    Parameter attributes("Atr");
    attributes.SetAttributeByte(parsed.data[0]);
    VESK_FUZZ_CHECK(attributes.AttributeByte() == (parsed.data[0] & 0x03));
  }
  decode_value(converter, parsed.data, parsed.count);
}

// A reply in byte form, completed with its checksum and put in line form.
std::string line_from_bytes(const uint8_t* body, size_t size) {
  uint8_t bytes[kMaxFrameBytes];
  size = std::min(size, sizeof bytes - 2);
  std::memcpy(bytes, body, size);
  const uint16_t crc = HashBuffer(bytes, size);
  bytes[size] = static_cast<uint8_t>(crc >> 8);
  bytes[size + 1] = static_cast<uint8_t>(crc & 0xFF);
  char chars[2 * kMaxFrameBytes];
  VESK_FUZZ_CHECK(EncodeBuffer(bytes, size + 2, chars, sizeof chars));
  std::string line(1, kFrameStart);
  line.append(chars, 2 * (size + 2));
  line += kFrameEnd;
  return line;
}

// What ProbeExchange and Probe do with the reply of a probe request.
void probe_road(int mode, uint8_t address, bool small, std::string_view reply) {
  if (reply.size() > kReplyCapacity) reply = reply.substr(0, kReplyCapacity);
  const size_t capacity = small ? 4 : kReplyCapacity;
  std::unique_ptr<uint8_t[]> data(new uint8_t[capacity]);
  int count = -7;
  const ProbeResult r = CheckProbeReply(mode, address, reply, data.get(), capacity, count);
  VESK_FUZZ_CHECK(r == ProbeResult::Answered || r == ProbeResult::Checksum ||
                  r == ProbeResult::Address || r == ProbeResult::Malformed);
  if (r != ProbeResult::Answered) {
    VESK_FUZZ_CHECK(count == 0);
  } else {
    VESK_FUZZ_CHECK(count >= 0 && static_cast<size_t>(count) <= capacity);
    // A Modbus RTU reply carries its data as it is, right after the address.
    if (mode == kProbeModbusRtu) {
      VESK_FUZZ_CHECK(reply.size() >= static_cast<size_t>(count) + 3);
      VESK_FUZZ_CHECK(std::memcmp(data.get(), reply.data() + 1, static_cast<size_t>(count)) == 0);
    }
  }
  std::string text;
  const bool known = ProbeErrorText(r, text);
  VESK_FUZZ_CHECK(known == (r != ProbeResult::Answered));
  VESK_FUZZ_CHECK(ValidUtf8(text));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vesk::fuzz::InstallSilentPresenter();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 2) return 0;
  const uint8_t selector = input[0];
  const uint8_t modifier = input[1];
  const uint8_t* payload = input + 2;
  const size_t payload_size = size - 2;
  const std::string_view chars(reinterpret_cast<const char*>(payload), payload_size);

  const vesk::fuzz::ConverterCase& c = kConverters[(selector >> 2) % kConverterCount];
  ValueCodec converter(c.name);
  converter.type_text = c.type;

  switch (selector & 0x03) {
    case 0:
      reply_road(chars, converter);
      break;
    case 1:
      if (payload_size >= 4) reply_road(line_from_bytes(payload, payload_size), converter);
      break;
    case 2: {
      // Counts beyond a frame's and below zero too: the converter must hold to its count.
      int count = static_cast<int>(std::min<size_t>(payload_size, 40));
      if (modifier & 0x80) count = -static_cast<int>(modifier & 0x7F);
      decode_value(converter, payload, count);
      break;
    }
    default:
      probe_road(kProbeModbusRtu + (selector >> 2) % 3, modifier, (selector & 0x80) != 0, chars);
      break;
  }
  return 0;
}
