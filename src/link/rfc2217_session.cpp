#include "link/rfc2217_session.h"

namespace vesk::link {

namespace {

using namespace telnet;

// COM-PORT-OPTION commands, client to server; the server's replies add 100.
constexpr uint8_t kSignature = 0;
constexpr uint8_t kSetBaudRate = 1;
constexpr uint8_t kSetDataSize = 2;
constexpr uint8_t kSetParity = 3;
constexpr uint8_t kSetStopSize = 4;
constexpr uint8_t kNotifyLineState = 6;
constexpr uint8_t kSetLineStateMask = 10;
constexpr uint8_t kSetModemStateMask = 11;
constexpr uint8_t kPurgeData = 12;
constexpr uint8_t kPurgeReceived = 1;
constexpr uint8_t kServerReply = 100;

// Break, framing, parity and overrun: what a local port marks in the data.
constexpr uint8_t kLineErrorBits = 0x10 | 0x08 | 0x04 | 0x02;

constexpr std::string_view kOurSignature = "vesk-configurator";

bool WeDo(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

bool TheyMay(uint8_t option) {
  return option == kBinary || option == kSuppressGoAhead || option == kComPort;
}

void Put(std::string& out, uint8_t verb, uint8_t option) {
  out += static_cast<char>(kIac);
  out += static_cast<char>(verb);
  out += static_cast<char>(option);
}

// IAC SB COM-PORT-OPTION command value IAC SE, an IAC in the value doubled.
void PutCommand(std::string& out, uint8_t command, std::string_view value) {
  out += static_cast<char>(kIac);
  out += static_cast<char>(kSb);
  out += static_cast<char>(kComPort);
  out += static_cast<char>(command);
  for (char c : value) {
    out += c;
    if (static_cast<uint8_t>(c) == kIac) out += c;
  }
  out += static_cast<char>(kIac);
  out += static_cast<char>(kSe);
}

std::string Byte(uint8_t b) {
  return std::string(1, static_cast<char>(b));
}

}  // namespace

uint8_t Rfc2217Parity(int parity) {
  switch (parity) {
    case 1:
      return 3;  // even
    case 2:
      return 4;  // mark
    case 4:
      return 2;  // odd
    case 5:
      return 5;  // space
    default:
      return 1;  // none
  }
}

std::string Rfc2217Session::Offer() {
  std::string out;
  for (uint8_t option : {kBinary, kSuppressGoAhead, kComPort}) {
    Put(out, kWill, option);
    ours_[option] = true;
  }
  for (uint8_t option : {kBinary, kSuppressGoAhead}) {
    Put(out, kDo, option);
    theirs_[option] = true;
  }
  return out;
}

std::string Rfc2217Session::SetLine(const RemoteLine& line) {
  acked_baud_.reset();
  acked_data_size_.reset();
  acked_parity_.reset();
  acked_stop_size_.reset();
  std::string out;
  const std::string baud{static_cast<char>(line.baud >> 24), static_cast<char>(line.baud >> 16),
                         static_cast<char>(line.baud >> 8), static_cast<char>(line.baud)};
  PutCommand(out, kSetBaudRate, baud);
  PutCommand(out, kSetDataSize, Byte(line.data_size));
  PutCommand(out, kSetParity, Byte(line.parity));
  PutCommand(out, kSetStopSize, Byte(line.stop_size));
  PutCommand(out, kSetLineStateMask, Byte(kLineErrorBits));
  PutCommand(out, kSetModemStateMask, Byte(0));
  return out;
}

std::string Rfc2217Session::PurgeInput() {
  purge_acked_ = false;
  std::string out;
  PutCommand(out, kPurgeData, Byte(kPurgeReceived));
  return out;
}

std::string Rfc2217Session::Encode(std::string_view data) const {
  std::string out;
  out.reserve(data.size() + 4);
  for (char c : data) {
    out += c;
    if (static_cast<uint8_t>(c) == kIac) out += c;
    if (c == '\r' && !ours_[kBinary]) out += '\0';
  }
  return out;
}

bool Rfc2217Session::LineAcked() const {
  return acked_baud_ && acked_data_size_ && acked_parity_ && acked_stop_size_;
}

bool Rfc2217Session::LineAsAsked(const RemoteLine& line) const {
  return LineAcked() && *acked_baud_ == line.baud && *acked_data_size_ == line.data_size &&
         *acked_parity_ == line.parity && *acked_stop_size_ == line.stop_size;
}

bool Rfc2217Session::TakeLineError() {
  const bool was = line_error_;
  line_error_ = false;
  return was;
}

void Rfc2217Session::Feed(const uint8_t* bytes, size_t n, std::string& data, std::string& reply) {
  for (size_t i = 0; i < n; ++i) Step(bytes[i], data, reply);
}

void Rfc2217Session::Step(uint8_t b, std::string& data, std::string& reply) {
  {
    switch (state_) {
      case State::Data:
        if (b == kIac) {
          state_ = State::Iac;
          break;
        }
        // Without BINARY the server sends a bare CR as CR NUL.
        if (b == 0 && after_cr_ && !theirs_[kBinary]) {
          after_cr_ = false;
          break;
        }
        after_cr_ = b == '\r';
        data += static_cast<char>(b);
        break;
      case State::Iac:
        if (b == kIac) {
          after_cr_ = false;
          data += static_cast<char>(b);
          state_ = State::Data;
        } else if (b >= kWill) {
          verb_ = b;
          state_ = State::Option;
        } else if (b == kSb) {
          sub_.clear();
          sub_overflow_ = false;
          state_ = State::Sub;
        } else {
          state_ = State::Data;  // NOP, GA, DM, BRK ...: nothing for a line of frames
        }
        break;
      case State::Option:
        Negotiate(verb_, b, reply);
        state_ = State::Data;
        break;
      case State::Sub:
        if (b == kIac) {
          state_ = State::SubIac;
        } else if (sub_.size() < kMaxSubnegotiation) {
          sub_ += static_cast<char>(b);
        } else {
          sub_overflow_ = true;
        }
        break;
      case State::SubIac:
        if (b == kIac) {
          if (sub_.size() < kMaxSubnegotiation)
            sub_ += static_cast<char>(b);
          else
            sub_overflow_ = true;
          state_ = State::Sub;
        } else if (b == kSe) {
          if (!sub_overflow_) Subnegotiation(reply);
          state_ = State::Data;
        } else {
          // A command inside a subnegotiation ends it unfinished; the command counts.
          state_ = State::Iac;
          Step(b, data, reply);
        }
        break;
    }
  }
}

void Rfc2217Session::Negotiate(uint8_t verb, uint8_t option, std::string& reply) {
  switch (verb) {
    case kDo:
      if (!WeDo(option)) {
        Put(reply, kWont, option);
      } else if (!ours_[option]) {
        ours_[option] = true;
        Put(reply, kWill, option);
      }
      if (option == kComPort) com_port_ = ComPort::Accepted;
      break;
    case kDont:
      if (ours_[option]) {
        ours_[option] = false;
        Put(reply, kWont, option);
      }
      if (option == kComPort) com_port_ = ComPort::Refused;
      break;
    case kWill:
      if (!TheyMay(option)) {
        Put(reply, kDont, option);
      } else if (!theirs_[option]) {
        theirs_[option] = true;
        Put(reply, kDo, option);
      }
      break;
    case kWont:
      if (theirs_[option]) {
        theirs_[option] = false;
        Put(reply, kDont, option);
      }
      break;
    default:
      break;
  }
}

void Rfc2217Session::Subnegotiation(std::string& reply) {
  if (sub_.size() < 2 || static_cast<uint8_t>(sub_[0]) != kComPort) return;
  const uint8_t command = static_cast<uint8_t>(sub_[1]);
  const std::string_view value = std::string_view(sub_).substr(2);
  auto byte = [&] { return static_cast<uint8_t>(value[0]); };
  switch (command) {
    case kServerReply + kSignature:
      // An empty signature asks for ours.
      if (value.empty()) PutCommand(reply, kSignature, kOurSignature);
      break;
    case kServerReply + kSetBaudRate:
      if (value.size() == 4)
        acked_baud_ = uint32_t{static_cast<uint8_t>(value[0])} << 24 |
                      uint32_t{static_cast<uint8_t>(value[1])} << 16 |
                      uint32_t{static_cast<uint8_t>(value[2])} << 8 |
                      static_cast<uint8_t>(value[3]);
      break;
    case kServerReply + kSetDataSize:
      if (value.size() == 1) acked_data_size_ = byte();
      break;
    case kServerReply + kSetParity:
      if (value.size() == 1) acked_parity_ = byte();
      break;
    case kServerReply + kSetStopSize:
      if (value.size() == 1) acked_stop_size_ = byte();
      break;
    case kServerReply + kPurgeData:
      purge_acked_ = true;
      break;
    case kServerReply + kNotifyLineState:
      if (value.size() == 1 && (byte() & kLineErrorBits)) line_error_ = true;
      break;
    default:
      break;  // modem state, flow control, acks of the masks
  }
}

}  // namespace vesk::link
