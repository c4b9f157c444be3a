#include "link/device_link.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>

#include "link/error_texts.h"
#include "link/exit_status.h"
#include "link/line_event_source.h"
#include "link/link_status.h"
#include "link/network_port.h"
#include "link/port_loss.h"
#include "link/presenter.h"
#include "link/probe_codec.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::link {

namespace {

constexpr int kProbeTimeoutRetries = 1;
constexpr int kProbeLineErrorRetries = 16;

constexpr const char* kNetworkNameRecord = "CHAr*";
constexpr const char* kNetworkCharParameter = "CHAr";
constexpr unsigned kHighestNameCode = 79;

std::string NoEncoderText(std::string_view name) {
  return platform::Tr("Метод формирования посылки записи для команды '") + std::string(name) +
         platform::Tr("' не определен.");
}

// Puts the encoded value of `p` into `data`. Returns kExchangeOk, or kExchangeNoEncoder or
// kExchangeBadValue with the reason in the trace, or without one in the note: a write with
// the value left out would reach the device as a malformed (or empty, command-like)
// request.
int EncodeValue(Parameter& p, uint8_t* data, int& count, TraceList* trace) {
  uint8_t value[4];
  int value_count = 0;
  std::string message;
  const int r = p.ConvertToData(p.value, value, value_count, &message);
  if (r == 1) {
    count = std::clamp(value_count, 0, 4);
    std::memcpy(data, value, static_cast<size_t>(count));
    return kExchangeOk;
  }
  const int result = r == -1 ? kExchangeNoEncoder : kExchangeBadValue;
  if (!trace) {
    p.note = !message.empty() ? message
             : r == -1        ? NoEncoderText(p.short_name)
                              : std::string(platform::Tr(kTextBadValue));
  } else if (r == -1) {
    trace->Add(NoEncoderText(p.short_name));
    if (!message.empty()) trace->Add(message);
  } else {
    trace->Add(platform::Tr(kTextBadValue));
  }
  return result;
}

// ">> Посылка: # 0 : 065 = 0x41 (A)"; a byte from 0x80 up is shown as its cp1251 letter.
std::string ByteLine(const char* prefix, int position, uint8_t byte) {
  char buf[96];
  std::snprintf(buf, sizeof buf, "%s #%2i : %03i = 0x%02X (", prefix, position, byte, byte);
  std::string line = buf;
  if (byte >= 32) {
    const char c = static_cast<char>(byte);
    line += platform::Cp1251ToUtf8(std::string_view(&c, 1));
  } else {
    line += '.';
  }
  line += ')';
  return line;
}

void TraceRequest(TraceList* trace, const uint8_t* data, int count) {
  if (!trace) return;
  trace->Add(platform::Tr("Размер инф-ой части посылки ") + std::to_string(count) +
             platform::Tr(" байт."));
  for (int i = 0; i < count; ++i) trace->Add(ByteLine(platform::Tr(">> Посылка:"), i, data[i]));
}

void TraceReply(TraceList* trace, const uint8_t* data, int count) {
  if (!trace) return;
  for (int i = 0; i < count; ++i) trace->Add(ByteLine(platform::Tr("<< Ответ:"), i, data[i]));
  trace->Add(platform::Tr("Инф-ная часть квитанции ответа имеет размер ") + std::to_string(count) +
             platform::Tr(" байт."));
}

// The decimal code a "CHAr" sub-exchange left in its value.
bool ParseCode(const std::string& text, unsigned& code) {
  const char* first = text.data();
  const char* last = first + text.size();
  auto [end, ec] = std::from_chars(first, last, code);
  return ec == std::errc() && end == last;
}

// The reply to an indexed request ends with the index it answers for. A late answer to a
// request for another copy of the same parameter carries the same hash; only this tells
// it apart. The low byte is compared: it tells every copy of this device apart, and the
// high byte is the device's own business.
bool EchoesIndex(const uint8_t* reply, int count, int32_t index) {
  if (count < 3) return true;  // a value without an index behind it
  return reply[count - 1] == static_cast<uint8_t>(index & 0xFF);
}

void ClearChanged(Parameter& p) {
  p.value_changed = false;
  p.edit_changed = false;
  p.owner_changed = false;
}

}  // namespace

DeviceLink::DeviceLink() = default;
DeviceLink::~DeviceLink() = default;

FrameAddress DeviceLink::MakeFrameAddress(int offset) const {
  const PortSettings& s = port_.settings();
  return FrameAddress{s.device_address, s.address_length, offset};
}

int DeviceLink::OpenPort(bool report) {
  int result;
  std::string name;
  int sys_errno = 0;
  {
    std::lock_guard lock(lock_);
    // A remote line stays connected while it is set up again (SerialPort::Open).
    if (!IsNetworkPortName(port_.settings().port_name)) port_.Close();
    ReloadSettings();
    if (silent_.load()) {
      port_.Close();
      return -1;
    }
    result = OpenAndReport(port_, false);
    name = port_.settings().port_name;
    if (result == kOpenFailed) sys_errno = port_.last_errno();
    if (result == kOpenOk && port_.low_latency_refused()) {
      LineEvent e;
      e.time_ns = MonotonicSinceStart();
      e.kind = LineEventKind::kRefused;
      e.name = name;
      e.text = platform::Tr(kTextLowLatencyRefused);
      for (LineObserver* o : observers_) o->OnLineEvent(e);
    }
  }
  // Shown without the lock, so that a message left on screen holds up no exchange.
  if (result != kOpenOk && report && !command_line_run_.load())
    presenter().ShowMessage(OpenFailureMessage(name, sys_errno), platform::Tr(kOpenFailureCaption),
                            MsgIcon::Error, MsgButtons::Ok);
  return result;
}

int DeviceLink::ClosePort() {
  std::lock_guard lock(lock_);
  return port_.Close();
}

void DeviceLink::AddObserver(LineObserver* observer) {
  std::lock_guard lock(lock_);
  if (observer && std::find(observers_.begin(), observers_.end(), observer) == observers_.end())
    observers_.push_back(observer);
}

void DeviceLink::RemoveObserver(LineObserver* observer) {
  std::lock_guard lock(lock_);
  observers_.erase(std::remove(observers_.begin(), observers_.end(), observer), observers_.end());
}

bool DeviceLink::Transact(bool read, uint16_t hash, const uint8_t* data, int count,
                          ReplyData& reply, int& reply_count, std::string& error, int offset) {
  return TransactFor(nullptr, read, hash, data, count, reply, reply_count, error, offset);
}

int DeviceLink::Exchange(int operation, Parameter* parameter, TraceList* trace) {
  if (!port_.IsOpen()) {
    if (parameter) parameter->note = platform::Tr(kTextPortNotOpen);
    return kExchangePortClosed;
  }
  if (!parameter) return kExchangePortClosed;

  Parameter& p = *parameter;
  p.note.clear();
  if (p.short_name == kNetworkNameRecord) return ExchangeNetworkName(operation, p, trace);

  const bool read = operation != kOpWrite;
  const uint16_t hash = NameHash(p.short_name);
  if (p.has_attributes && attribute_transfer() && !p.IsPolled()) {
    if (int r = ExchangeAttributes(operation, p, hash); r != kExchangeOk) return r;
  }

  uint8_t data[kMaxDataBytes];
  int count = 0;
  if (!read) {
    if (const int r = EncodeValue(p, data, count, trace); r != kExchangeOk) return r;
  }
  if (p.indexed) {
    data[count++] = static_cast<uint8_t>((p.linear_index >> 8) & 0xFF);
    data[count++] = static_cast<uint8_t>(p.linear_index & 0xFF);
  }
  TraceRequest(trace, data, count);

  ReplyData reply;
  int reply_count = 0;
  if (!TransactFor(&p, read, hash, data, count, reply, reply_count, p.note, p.poll_index))
    return kExchangeFailed;
  TraceReply(trace, reply.data(), reply_count);
  return TakeReply(p, reply.data(), reply_count);
}

int DeviceLink::TakeReply(Parameter& p, const uint8_t* data, int count) {
  if (p.indexed && !EchoesIndex(data, count, p.linear_index)) {
    p.note = platform::Tr(kTextOtherIndex);
    RecordBadLine();
    return kExchangeFailed;
  }
  // A reply the codec cannot read is a malformed answer: the value stays as it was and
  // the codec's own text, where it gives one, says why.
  std::string text;
  if (const int decoded = p.ConvertFromData(data, count, text); decoded != 1) {
    p.note = decoded < 0 && !text.empty() ? text : std::string(platform::Tr(kTextUndecodable));
    RecordBadLine();
    return kExchangeUndecodable;
  }
  p.value = std::move(text);
  ClearChanged(p);
  return kExchangeOk;
}

int DeviceLink::ExchangeAttributes(int operation, Parameter& p, uint16_t hash) {
  const bool read = operation != kOpWrite;
  uint8_t data[5];
  int count = 0;
  // Every write of a value writes its attributes as well.
  if (!read) data[count++] = p.AttributeByte();
  if (p.indexed) {
    data[count++] = 0;
    data[count++] = static_cast<uint8_t>(p.linear_index & 0xFF);
  }
  data[count++] = static_cast<uint8_t>(hash >> 8);
  data[count++] = static_cast<uint8_t>(hash & 0xFF);

  ReplyData reply;
  int reply_count = 0;
  if (!TransactFor(&p, read, kAttributeHash, data, count, reply, reply_count, p.note, p.poll_index))
    return kExchangeAttributeFailed;
  if (reply_count != (p.indexed ? 5 : 3)) {
    p.note = platform::Tr(kTextAttributeSize);
    RecordBadLine();  // a malformed answer like any other
    return kExchangeAttributeSize;
  }
  // The device repeats the parameter it answers for; attributes of another one (a late
  // answer to an earlier request) must not be taken for these.
  // For an indexed parameter it repeats the copy too, so a neighbour's late answer is refused.
  const bool other_copy = p.indexed && reply[reply_count - 3] != data[count - 3];
  if (other_copy || reply[reply_count - 2] != data[count - 2] ||
      reply[reply_count - 1] != data[count - 1]) {
    p.note = other_copy ? platform::Tr(kTextOtherIndex) : platform::Tr(kTextOtherCommand);
    RecordBadLine();
    return kExchangeAttributeFailed;
  }
  p.SetAttributeByte(reply[0]);
  p.edit_changed = false;
  p.owner_changed = false;
  return kExchangeOk;
}

int DeviceLink::ExchangeNetworkName(int operation, Parameter& p, TraceList* trace) {
  const bool read = operation != kOpWrite;
  PackedName codes{};
  if (!read) {
    auto refuse = [&](const char* text, bool traced) {
      p.note = text;
      if (trace && traced) trace->Add(text);
      return kExchangeBadValue;
    };
    if (p.value.empty()) return refuse(platform::Tr(kTextNameEmpty), true);
    if (platform::Utf8Length(p.value) >= 9) return refuse(platform::Tr(kTextNameTooLong), true);
    if (!PackNetworkName(p.value, codes)) return refuse(platform::Tr(kTextNameBadChar), false);
  }

  // Built aside and stored only when all four characters went through, so that a failed
  // exchange leaves the configured name in place.
  std::string name;
  const bool attributes = attribute_transfer();
  static const uint16_t kCharHash = NameHash(kNetworkCharParameter);
  for (int position = 0; position < 4; ++position) {
    Parameter part(kNetworkCharParameter);
    part.type_text = "int";
    part.indexed = true;
    part.linear_index = position + p.linear_index;
    part.poll_index = p.poll_index;
    part.editable = p.editable;
    part.owned_by_firm = p.owned_by_firm;
    int r;
    if (!read) {
      part.value = std::to_string(codes[static_cast<size_t>(position)]);
      r = attributes ? ExchangeAttributes(kOpWrite, part, kCharHash) : kExchangeOk;
      if (r == kExchangeOk) r = Exchange(kOpWrite, &part, trace);
    } else {
      r = Exchange(kOpRead, &part, trace);
    }
    if (!part.note.empty()) p.note = part.note;
    if (r != kExchangeOk) return r;

    unsigned code = 0;
    if (!ParseCode(part.value, code) || (read && code > kHighestNameCode)) {
      p.note = platform::Tr(kTextNameBadCode);
      if (trace) trace->Add(platform::Tr(kTextNameBadCode));
      return kExchangeUndecodable;
    }
    AppendPackedChar(name, code);
  }
  p.value = std::move(name);
  ClearChanged(p);
  return kExchangeOk;
}

ProbeResult DeviceLink::Probe(int protocol) {
  const bool percent = protocol == kProbePercent;
  const uint8_t* payload = percent ? kPercentProbePayload : kModbusProbePayload;
  const int count = percent ? static_cast<int>(sizeof kPercentProbePayload)
                            : static_cast<int>(sizeof kModbusProbePayload);
  uint8_t reply[kReplyCapacity];
  int reply_count = 0;
  ProbeResult r = ProbeExchange(protocol, payload, count, reply, sizeof reply, reply_count);
  // Modbus devices echo this request; any other answer is not the device we look for.
  if (r == ProbeResult::Answered && !percent &&
      (reply_count != count || std::memcmp(reply, payload, static_cast<size_t>(count)) != 0))
    r = ProbeResult::Malformed;
  return r;
}

ProbeResult DeviceLink::ProbeExchange(int protocol, const uint8_t* payload, int count,
                                      uint8_t* reply, size_t capacity, int& reply_count) {
  reply_count = 0;
  if (protocol < kProbeModbusRtu || protocol > kProbePercent) return ProbeResult::Refused;

  std::lock_guard lock(lock_);
  const PortSettings& s = port_.settings();
  // The foreign protocols know only 8-bit addresses.
  if (s.address_length > 8) return ProbeResult::Refused;
  const auto address = static_cast<uint8_t>(s.device_address);
  ProbeFrame frame;
  if (!BuildProbeRequest(protocol, address, payload, count, frame)) return ProbeResult::Refused;

  Reply answer;
  int timeouts = 0, line_errors = 0;
  for (;;) {
    const PortResult result = port_.SendReceive(frame.Text(), answer, FrameEndFor(protocol));
    const int code = result.Code();
    if (code == 2) {
      if (timeouts == kProbeTimeoutRetries) return ProbeResult::Timeout;
      ++timeouts;
    } else if (code == 3) {
      if (line_errors == kProbeLineErrorRetries) return ProbeResult::LineError;
      ++line_errors;
    } else if (code < 0) {
      return ProbeResult::Refused;
    } else {
      break;
    }
  }
  return CheckProbeReply(protocol, address, answer.View(), reply, capacity, reply_count);
}

}  // namespace vesk::link
