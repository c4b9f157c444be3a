#pragma once
// The only road to the device: one request frame out and one reply in with retries
// (Transact), the read or write of one parameter (Exchange), and the probe exchanges in
// the foreign protocols that the link check uses.

#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "link/frame_codec.h"
#include "link/line_event.h"
#include "link/parameter.h"
#include "link/probe_codec.h"
#include "link/serial_port.h"

namespace vesk::link {

struct EventSource;

// Where the human-readable trace of an exchange goes (the protocol list of the
// single-parameter dialog). Append-only.
class TraceList {
 public:
  virtual ~TraceList() = default;
  virtual void Add(std::string line) = 0;
};

// A trace kept as plain lines.
class TraceLines : public TraceList {
 public:
  void Add(std::string line) override { lines.push_back(std::move(line)); }
  std::vector<std::string> lines;
};

inline constexpr int kOpWrite = 0;
inline constexpr int kOpRead = 1;

// Results of exchange in the LORN protocol.
inline constexpr int kExchangeOk = 0;
inline constexpr int kExchangePortClosed = -1;  // or no parameter given
inline constexpr int kExchangeFailed = 1;       // transact failed, reason in the note
inline constexpr int kExchangeUndecodable = 2;  // reply not decodable, bad name code
inline constexpr int kExchangeNoEncoder = 3;    // the parameter cannot be written
inline constexpr int kExchangeBadValue = 4;     // the value cannot be encoded
inline constexpr int kExchangeAttributeFailed = 200;
inline constexpr int kExchangeAttributeSize = 201;

using ReplyData = std::array<uint8_t, kMaxDataBytes>;

// Why a transaction failed (the error text of Transact, a parameter's note).
inline constexpr const char* kTextTimeout = "Таймаут при передаче данных (нет связи)";
inline constexpr const char* kTextBadSettings = "Неверны настройки порта.";
// A reply whose start never came.
inline constexpr const char* kTextLostStart = "Потеря начала посылки.";
// Nothing went out: the exchange was stopped, or the port is not open.
inline constexpr const char* kTextStopped = "Обмен остановлен.";
inline constexpr const char* kTextPortClosed = "Порт закрыт.";
inline constexpr const char* kTextChecksum = "Ошибка в контрольной сумме ответа";
inline constexpr const char* kTextCannotEncode = "Не могу зашифровать посылку (ф-я encode_buffer)";
inline constexpr const char* kTextOtherCommand =
    "Пришла посылка с кодом команды, отличным от посланной и от n.Err.\n";
inline constexpr const char* kTextErrorWithoutCode = "Прибор сообщил об ошибке без кода";
inline constexpr const char* kTextReplyTooLong = "Ответ длиннее любой допустимой посылки";
inline constexpr const char* kTextPortNotOpen = "Ошибка открытия порта";
// Why an exchange of one parameter failed (its note).
inline constexpr const char* kTextOtherIndex = "Ответ относится к другому индексу параметра";
inline constexpr const char* kTextUndecodable = "Не могу раскодировать ответ";
inline constexpr const char* kTextAttributeSize =
    "Ошибка атрибутов; размер ответа не совпадает с ожидаемым.\n";
inline constexpr const char* kTextBadValue = "Неверное значение (неудается закодировать данные)";
inline constexpr const char* kTextNameEmpty = "Сетевое имя пусто (CHAr)";
inline constexpr const char* kTextNameTooLong = "Сетевое имя слишком длинное (CHAr)";
inline constexpr const char* kTextNameBadChar = "Недопустимый символ в сетевом имени (CHAr)";
inline constexpr const char* kTextNameBadCode = "Недопустимый код символа в сетевом имени (CHAr)";
// Follows kTextTimeout when only noise came: "...; до этого на линии помехи: 3 симв."
inline constexpr const char* kTextNoiseBeforeTimeout = "; до этого на линии помехи: ";
inline constexpr const char* kTextNoiseUnit = " симв.";
// What the line events say of what was skipped.
inline constexpr const char* kTextNoiseSkipped = "Помехи перед ответом пропущены";
inline constexpr const char* kTextStraySkipped = "Чужой ответ пропущен, адрес ";
// The bus scan's word for a reply of another address that came late; its address follows.
inline constexpr const char* kTextLateReply = "Запоздалый ответ прибора с адреса ";
inline constexpr const char* kTextEchoTaken = "Эхо преобразователя снято с линии";
// Told once an open, to the observers, where the driver keeps received bytes back.
inline constexpr const char* kTextLowLatencyRefused =
    "драйвер порта не принял режим низкой задержки (ASYNC_LOW_LATENCY): ответы могут "
    "запаздывать на время таймера задержки адаптера";

// The probe payload of modes 1 and 2, which the device echoes, and of mode 3.
inline constexpr uint8_t kModbusProbePayload[] = {0x05, 0xF0, 0xF0, 0xFF, 0x00};
inline constexpr uint8_t kPercentProbePayload[] = {'L', 'O', 'R', 'N'};

// What one question of the bus scan brought back.
struct BusScanReply {
  // A valid reply from the address asked (a refusal too), in `frame`.
  bool answered = false;
  ReplyFrame frame;
  double reply_ms = 0;  // from the start of the send to the end of the reply
  // From the end of the send to the reply's first character; below 0 when none came.
  double first_char_ms = -1;
  // A valid reply from another address: a device that answered an earlier question late.
  int32_t late_address = -1;
  bool stopped = false;  // the port is closed or its stop event is set
  // The port is gone (see PortGone); it has been closed, `error` says which and why.
  bool port_lost = false;
  std::string error;  // why nothing usable came: time-out, line, system's text
};

class DeviceLink {
 public:
  DeviceLink();
  virtual ~DeviceLink();
  DeviceLink(const DeviceLink&) = delete;
  DeviceLink& operator=(const DeviceLink&) = delete;

  SerialPort& port() { return port_; }
  const SerialPort& port() const { return port_; }

  // Closes the port, lets the owner reload the settings (ReloadSettings), and opens it
  // again unless the run is silent (then -1 and nothing is opened). A remote line stays
  // connected and is set up anew (SerialPort::Open). Records the outcome
  // in exit_status bit 0x02; when `report` is set and this is not a command-line run, a
  // failure is shown in a message box. Returns the open result of SerialPort::Open.
  int OpenPort(bool report);

  // Closes the port between exchanges. Returns what SerialPort::Close returns.
  int ClosePort();

  // One request and its reply with retries. Returns true on success with the reply data
  // in `reply`/`reply_count`; false with the reason in `error` (time-out, line, stopped,
  // port closed, checksum, error reply (its data is returned too), unexpected command).
  bool Transact(bool read, uint16_t hash, const uint8_t* data, int count, ReplyData& reply,
                int& reply_count, std::string& error, int offset);

  // Observers of every frame of the LORN protocol. One that is added while an exchange
  // runs sees the next frame; one that is removed is not called once this returns.
  void AddObserver(LineObserver* observer);
  void RemoveObserver(LineObserver* observer);

  // Reads (kOpRead) or writes (kOpWrite) one parameter. Returns kExchangeOk with the
  // device's answer in the parameter's value, or one of the kExchange* failures with the
  // reason in its note. Virtual so that whoever holds the engine as a link still goes
  // through its rules (the lost port, the line's state).
  virtual int Exchange(int operation, Parameter* parameter, TraceList* trace = nullptr);

  // One probe exchange in `protocol` (kProbeModbusRtu ... kProbePercent) with the base
  // address. Returns Answered with the data after the address in `reply`, a failure of the
  // line or the frame, or Refused when the address does not fit 8 bits, `protocol` is not
  // a probe protocol, the port is closed or the stop event is set.
  ProbeResult ProbeExchange(int protocol, const uint8_t* payload, int count, uint8_t* reply,
                            size_t capacity, int& reply_count);

  // The link check's probe in `protocol`: a Modbus device must echo it, a "%" device answer
  // it. Returns as ProbeExchange (Malformed for an answer that is not the echo). Virtual for
  // the same reason as Exchange.
  virtual ProbeResult Probe(int protocol);

  // One LORN read of `subject` at `address` (any address, the settings' length), one
  // attempt whose first character may take `wait_ms` (SerialPort::SendReceive): the bus
  // scan's question, seen by the observers like any other. See BusScanReply.
  BusScanReply BusScanRead(int32_t address, const Parameter& subject, int wait_ms);

  // Off while the menu's "Не передавать атрибуты параметров" is ticked.
  bool attribute_transfer() const { return attribute_transfer_.load(); }
  void set_attribute_transfer(bool on) { attribute_transfer_.store(on); }

  // The run's keys that OpenPort obeys: "silent" opens nothing; a command-line run
  // shows no message box.
  void set_silent(bool silent) { silent_.store(silent); }
  void set_command_line_run(bool on) { command_line_run_.store(on); }

 protected:
  // Called by OpenPort with the port closed (a remote line may stay connected), before it
  // opens again: the owner copies the stored settings into port().settings() and clears
  // what depends on them.
  virtual void ReloadSettings() {}

 private:
  FrameAddress MakeFrameAddress(int offset) const;
  // Transact for `subject`, whose name, index and codec decode the frames for observers.
  bool TransactFor(const Parameter* subject, bool read, uint16_t hash, const uint8_t* data,
                   int count, ReplyData& reply, int& reply_count, std::string& error, int offset);
  // One attempt of a transaction: the request out and the first frame that answers it,
  // skipping noise, the converter's echo and stray replies (device_link_transact.cpp).
  struct Attempt;
  Attempt TryOnce(const RequestFrame& frame, bool broadcast, EventSource& watch);
  // "APLY" is not answered: only the send's own result tells.
  bool SendApply(const RequestFrame& frame, EventSource& watch, std::string& error);
  // Before the first exchange after an open in EchoMode::Auto that cannot tell the echo
  // itself: a read of "dev", which no device answers with the request's own characters,
  // shows whether the converter gives the request back.
  void SettleEcho(const FrameAddress& address);
  // What to do with the echo of a request for `subject` (nullptr: unknown): a read of a
  // value is never answered with itself, so it may find the echo out on its own.
  EchoTake EchoFor(bool read, const Parameter* subject) const;
  bool EchoUnsettled(bool read, const Parameter* subject) const;
  int ExchangeAttributes(int operation, Parameter& parameter, uint16_t hash);
  // Checks the reply of an exchange of `p` and decodes it into its value. Returns
  // kExchangeOk, or kExchangeFailed or kExchangeUndecodable with the reason in the note.
  int TakeReply(Parameter& p, const uint8_t* data, int count);
  int ExchangeNetworkName(int operation, Parameter& parameter, TraceList* trace);

  SerialPort port_;
  std::mutex lock_;
  std::vector<LineObserver*> observers_;  // guarded by lock_
  std::atomic<bool> attribute_transfer_{true};
  std::atomic<bool> silent_{false};
  std::atomic<bool> command_line_run_{false};
};

}  // namespace vesk::link
