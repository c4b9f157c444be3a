// What a Telnet server with the COM-PORT-OPTION of RFC 2217 sends to the rfc2217:// port:
// negotiation, subnegotiations, escaped data, all in any split.
//
// Input: byte 0 sets how the rest is split into reads (and byte 1, when its top bit is
// set, the line asked for in SetLine); the rest is what the server sent. Properties: the
// split does not change what comes out; no more data comes out than went in; the answers
// are whole commands that only accept what the client supports and carry no data; data
// encoded by one side reads back the same on the other; the client's own settings carry
// no data.

#include <algorithm>
#include <cstdint>
#include <string>
#include <string_view>

#include "link/rfc2217_session.h"
#include "silent_presenter.h"

namespace {

using namespace vesk::link;
using namespace vesk::link::telnet;

struct Outcome {
  std::string data;
  std::string reply;
};

Outcome FeedInReads(Rfc2217Session& session, std::string_view wire, uint8_t split) {
  Outcome out;
  size_t at = 0;
  size_t step = 1;
  while (at < wire.size()) {
    // Read sizes from the split byte: 1 ... 8, changing as the bits rotate.
    step = split == 0 ? wire.size() : 1 + ((split >> (at % 8)) & 0x07);
    const size_t n = std::min(step, wire.size() - at);
    session.Feed(reinterpret_cast<const uint8_t*>(wire.data() + at), n, out.data, out.reply);
    at += n;
  }
  return out;
}

bool Supported(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

// The client's answers: IAC verb option, or a subnegotiation of the COM-PORT-OPTION (its
// signature), nothing else.
void CheckReply(std::string_view reply) {
  size_t i = 0;
  while (i < reply.size()) {
    VESK_FUZZ_CHECK(static_cast<uint8_t>(reply[i]) == kIac && i + 2 < reply.size());
    const uint8_t verb = static_cast<uint8_t>(reply[i + 1]);
    const uint8_t option = static_cast<uint8_t>(reply[i + 2]);
    if (verb == kSb) {
      VESK_FUZZ_CHECK(option == kComPort);
      const size_t end = reply.find("\xFF\xF0", i + 3);
      VESK_FUZZ_CHECK(end != std::string_view::npos);
      i = end + 2;
      continue;
    }
    VESK_FUZZ_CHECK(verb >= kWill);
    if (verb == kWill || verb == kDo) VESK_FUZZ_CHECK(Supported(option));
    i += 3;
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  vesk::fuzz::InstallSilentPresenter();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 2) return 0;
  const uint8_t split = input[0];
  const std::string_view wire(reinterpret_cast<const char*>(input + 1), size - 1);

  Rfc2217Session whole;
  Rfc2217Session pieces;
  whole.Offer();
  pieces.Offer();
  RemoteLine line;
  if (input[1] & 0x80) {
    line.baud = static_cast<uint32_t>(input[1]) * 0x01010101u;
    line.data_size = 5 + (input[1] & 0x03);
    line.parity = 1 + input[1] % 5;
    line.stop_size = 1 + input[1] % 3;
  }
  whole.SetLine(line);
  pieces.SetLine(line);

  const Outcome a = FeedInReads(whole, wire, 0);
  const Outcome b = FeedInReads(pieces, wire, split);
  VESK_FUZZ_CHECK(a.data == b.data);
  VESK_FUZZ_CHECK(a.reply == b.reply);
  VESK_FUZZ_CHECK(whole.com_port() == pieces.com_port());
  VESK_FUZZ_CHECK(whole.acked_baud() == pieces.acked_baud());
  VESK_FUZZ_CHECK(whole.LineAsAsked(line) == pieces.LineAsAsked(line));
  VESK_FUZZ_CHECK(a.data.size() <= wire.size());
  CheckReply(a.reply);

  // Answers are commands only: fed back, they carry no data.
  Rfc2217Session peer;
  Outcome again = FeedInReads(peer, a.reply, split);
  VESK_FUZZ_CHECK(again.data.empty());

  // What one side encodes, the other reads back as it was, binary or not.
  for (bool binary : {true, false}) {
    Rfc2217Session sender, receiver;
    sender.Offer();
    receiver.Offer();
    if (!binary) {
      std::string ignored;
      const uint8_t dont[] = {kIac, kDont, kBinary, kIac, kWont, kBinary};
      sender.Feed(dont, sizeof dont, ignored, ignored);
      receiver.Feed(dont, sizeof dont, ignored, ignored);
    }
    const std::string encoded = sender.Encode(wire);
    Outcome back = FeedInReads(receiver, encoded, split);
    VESK_FUZZ_CHECK(back.data == wire);
    VESK_FUZZ_CHECK(back.reply.empty());
  }

  // The client's settings are commands only: no data, nothing to answer.
  Rfc2217Session server_side;
  Rfc2217Session client;
  const std::string settings = client.SetLine(line);
  Outcome seen = FeedInReads(server_side, settings, split);
  VESK_FUZZ_CHECK(seen.data.empty() && seen.reply.empty());
  return 0;
}
