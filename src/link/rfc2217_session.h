#pragma once
// The client's side of a Telnet session with the COM-PORT-OPTION of RFC 2217, without
// the socket: what to offer, how the line settings and the data go on the wire, and what
// the received bytes are (data, the server's negotiation, which is answered, and its
// COM-PORT-OPTION replies and notifications). Options other than BINARY, SUPPRESS-GO-AHEAD
// and COM-PORT-OPTION are refused; a request that matches the option's state is not
// answered, so that no negotiation loops (RFC 854).

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace vesk::link {

namespace telnet {
inline constexpr uint8_t kIac = 255;
inline constexpr uint8_t kDont = 254;
inline constexpr uint8_t kDo = 253;
inline constexpr uint8_t kWont = 252;
inline constexpr uint8_t kWill = 251;
inline constexpr uint8_t kSb = 250;
inline constexpr uint8_t kSe = 240;
inline constexpr uint8_t kBinary = 0;
inline constexpr uint8_t kSuppressGoAhead = 3;
inline constexpr uint8_t kComPort = 44;
}  // namespace telnet

// The line as RFC 2217 names it.
struct RemoteLine {
  uint32_t baud = 9600;
  uint8_t data_size = 8;  // 5 ... 8
  uint8_t parity = 1;     // 1 none, 2 odd, 3 even, 4 mark, 5 space
  uint8_t stop_size = 1;  // 1 one, 2 two, 3 one and a half
};

// The program's parity code (0/3 none, 1 even, 2 mark, 4 odd, 5 space) in RFC 2217's.
uint8_t Rfc2217Parity(int parity);

class Rfc2217Session {
 public:
  enum class ComPort { Pending, Accepted, Refused };

  // What the client sends first: WILL and DO BINARY and SUPPRESS-GO-AHEAD, WILL
  // COM-PORT-OPTION. Marks them as asked for.
  std::string Offer();

  // SET-BAUDRATE, SET-DATASIZE, SET-PARITY, SET-STOPSIZE in the order the RFC advises,
  // then the masks: line errors are notified, modem lines are not. Forgets earlier acks.
  std::string SetLine(const RemoteLine& line);

  // PURGE-DATA of the server's receive buffer: what the device sent before the line was
  // set up, as a local port flushes its input when it opens. Forgets an earlier ack.
  std::string PurgeInput();

  // `data` on the wire: IAC doubled, and a CR followed by NUL while our side is not
  // binary.
  std::string Encode(std::string_view data) const;

  // Takes received bytes: the line's data is appended to `data` (never more bytes than
  // came), the answers owed to the server to `reply`. A command may be split across calls.
  void Feed(const uint8_t* bytes, size_t n, std::string& data, std::string& reply);

  ComPort com_port() const { return com_port_; }
  // The server's acknowledgements of SetLine, as it set the line (nullopt: none yet).
  const std::optional<uint32_t>& acked_baud() const { return acked_baud_; }
  const std::optional<uint8_t>& acked_data_size() const { return acked_data_size_; }
  const std::optional<uint8_t>& acked_parity() const { return acked_parity_; }
  const std::optional<uint8_t>& acked_stop_size() const { return acked_stop_size_; }
  // True when all four settings came back as `line` asked.
  bool LineAcked() const;
  bool LineAsAsked(const RemoteLine& line) const;
  // The server has done the purge: from here on what comes is the device's answer.
  bool purge_acked() const { return purge_acked_; }
  // A NOTIFY-LINESTATE with a break, framing, parity or overrun error since the last
  // call; clears it.
  bool TakeLineError();
  // Whether the option is on (or asked for) on our side and on the server's.
  bool Ours(uint8_t option) const { return ours_[option]; }
  bool Theirs(uint8_t option) const { return theirs_[option]; }

  // The longest subnegotiation kept; a longer one is read to its end and ignored.
  static constexpr size_t kMaxSubnegotiation = 64;

 private:
  enum class State { Data, Iac, Option, Sub, SubIac };
  void Step(uint8_t b, std::string& data, std::string& reply);
  void Negotiate(uint8_t verb, uint8_t option, std::string& reply);
  void Subnegotiation(std::string& reply);

  State state_ = State::Data;
  uint8_t verb_ = 0;
  bool after_cr_ = false;
  std::string sub_;
  bool sub_overflow_ = false;
  std::array<bool, 256> ours_{};
  std::array<bool, 256> theirs_{};
  ComPort com_port_ = ComPort::Pending;
  std::optional<uint32_t> acked_baud_;
  std::optional<uint8_t> acked_data_size_, acked_parity_, acked_stop_size_;
  bool line_error_ = false;
  bool purge_acked_ = false;
};

}  // namespace vesk::link
