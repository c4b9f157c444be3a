#include "exchange_replay.h"

#include <bit>
#include <cstdlib>
#include <optional>
#include <sstream>

#include "link/frame_codec.h"

namespace vesk::faults {

namespace {

// The link's retry rules: three attempts on time-outs; a lost start (a stop) is final.
constexpr int kTimeoutRetries = 2;
// The read and write walks stop after this many failures in a row.
constexpr int kStreakLimit = 4;

// An answer that left the simulator this close to the end of the reply wait may or may
// not have been in time; one that took longer than kSlowAnswer shows a busy machine.
constexpr double kTimingMargin = 0.010;
constexpr double kSlowAnswer = 0.020;

constexpr uint32_t kStatusTimeout = 0x04;
constexpr uint32_t kStatusBadLine = 0x08;
constexpr uint32_t kStatusDeviceError = 0x10;

const uint16_t kDevHash = link::NameHash("dev");
const uint16_t kVerHash = link::NameHash("ver");
const uint16_t kCharHash = link::NameHash("CHAr");

struct TraceLine {
  double seconds = 0;
  bool received = false;
  std::string chars;
  bool decoded = false;
  bool read = false;
  uint16_t hash = 0;
  std::vector<uint8_t> data;
  std::string note;
};

std::string Field(const std::string& rest, const std::string& name) {
  const size_t at = rest.find(" " + name + "=");
  if (at == std::string::npos) return {};
  const size_t from = at + name.size() + 2;
  const size_t end = name == "data" ? rest.find(" (", from) : rest.find(' ', from);
  return rest.substr(from, end == std::string::npos ? std::string::npos : end - from);
}

// SECONDS DIR "CHARACTERS" [addr=A flag=R hash=HHHH index=I data=HH ...] [(NOTE)]
std::optional<TraceLine> ParseLine(const std::string& line) {
  TraceLine t;
  const size_t space = line.find(' ');
  if (space == std::string::npos || line.size() < space + 5) return std::nullopt;
  t.seconds = std::strtod(line.c_str(), nullptr);
  t.received = line.compare(space + 1, 2, "RX") == 0;
  size_t at = space + 4;
  if (line[at] != '"') return std::nullopt;
  for (++at; at < line.size() && line[at] != '"'; ++at) {
    if (line[at] != '\\' || at + 1 >= line.size()) {
      t.chars += line[at];
      continue;
    }
    const char c = line[++at];
    if (c == 'x' && at + 2 < line.size()) {
      t.chars += static_cast<char>(std::strtoul(line.substr(at + 1, 2).c_str(), nullptr, 16));
      at += 2;
    } else {
      t.chars += c == 'r' ? '\r' : c == 'n' ? '\n' : c;
    }
  }
  const std::string rest = at < line.size() ? line.substr(at + 1) : std::string();
  if (const std::string hash = Field(rest, "hash"); !hash.empty()) {
    t.decoded = true;
    t.read = Field(rest, "flag") == "1";
    t.hash = static_cast<uint16_t>(std::strtoul(hash.c_str(), nullptr, 16));
    std::istringstream bytes(Field(rest, "data"));
    std::string byte;
    while (bytes >> byte)
      t.data.push_back(static_cast<uint8_t>(std::strtoul(byte.c_str(), nullptr, 16)));
  }
  if (const size_t open = rest.find(" ("); open != std::string::npos && rest.back() == ')')
    t.note = rest.substr(open + 2, rest.size() - open - 3);
  return t;
}

// The link skips what comes before a frame's "#" (noise) and valid frames for another
// address or direction (stray replies), and judges the first frame left.
Outcome Classify(const TraceLine& answer, const std::string& request, uint16_t request_hash,
                 bool& error_data) {
  uint8_t head[2] = {};
  link::DecodeBuffer(request.data() + 1, 4, head, sizeof head);
  std::string_view rest = answer.chars;
  for (;;) {
    const size_t start = rest.find(link::kFrameStart);
    if (start == std::string_view::npos) return Outcome::Timeout;  // lost, noise, or not sent
    rest.remove_prefix(start);
    const size_t end = rest.find(link::kFrameEnd);
    const std::string_view frame = rest.substr(0, end == std::string_view::npos ? end : end + 1);
    rest.remove_prefix(frame.size());
    link::ReplyFrame reply;
    if (!link::ParseReply(frame, reply)) return Outcome::Checksum;
    if (reply.head[0] != head[0] || (reply.head[1] & 0xF0) != (head[1] & 0xF0)) continue;
    if (reply.hash == request_hash) return Outcome::Answer;
    if (reply.hash == link::kErrorReplyHash) {
      error_data = reply.count > 0;
      return Outcome::ErrorReply;
    }
    return Outcome::OtherCommand;
  }
}

// The exit status after a request ended with `r`, from `s` before it.
uint32_t StatusAfter(uint32_t s, const Request& r) {
  if (r.hash == link::kApplyHash) return s == kStatusTimeout ? kStatusBadLine : s;
  switch (r.result) {
    case Outcome::Timeout:
      return (s & kStatusBadLine) ? s : kStatusTimeout;
    case Outcome::LostStart:
      return kStatusBadLine;
    case Outcome::Checksum:
    case Outcome::OtherCommand:
      return kStatusBadLine;
    case Outcome::ErrorReply:  // with or without its code
      return kStatusDeviceError;
    default:
      return s == kStatusTimeout ? kStatusBadLine : s;
  }
}

// Walks the requests in order, keeping the exit status as the link records it.
class RequestCursor {
 public:
  RequestCursor(const std::vector<Request>& requests, Replay& replay)
      : requests_(requests), replay_(replay) {}

  bool AtEnd() const { return at_ >= requests_.size(); }
  const Request& Peek() const { return requests_[at_]; }

  // The next request, which the walk expects to be of `hash` (an attribute request when
  // `target` is set, naming that parameter) with the task's request flag.
  std::optional<Outcome> Take(uint16_t hash, bool read, std::optional<uint16_t> target,
                              const std::string& key) {
    if (AtEnd()) return Astray("the requests end before " + key);
    const Request& r = requests_[at_];
    bool names_target = !target;
    if (target && r.data.size() >= 2)
      names_target = (r.data[r.data.size() - 2] << 8 | r.data.back()) == *target;
    if (r.hash != hash || r.read != read || !names_target) {
      char buf[96];
      std::snprintf(buf, sizeof buf, "request %zu (hash %04X) where %s wanted hash %04X", at_,
                    r.hash, key.c_str(), hash);
      return Astray(buf);
    }
    return Consume().result;
  }

  // A request the link sends for its own sake: it records nothing of its result.
  void Skip() { ++at_; }

  const Request& Consume() {
    const Request& r = requests_[at_++];
    replay_.exit_status = StatusAfter(replay_.exit_status, r);
    return r;
  }

  std::nullopt_t Astray(const std::string& why) {
    replay_.Astray(why);
    return std::nullopt;
  }

 private:
  const std::vector<Request>& requests_;
  Replay& replay_;
  size_t at_ = 0;
};

// Exchanges one parameter as the link does; the outcome of the first request that
// failed, Answer when all went through, nullopt when the requests went astray.
std::optional<Outcome> ExchangeEntry(RequestCursor& cursor, const TreeEntry& e, bool write) {
  const bool read = !write;
  const std::string key = e.Key();
  if (e.name == "CHAr*") {
    // The network name: four indexed codes, each with its attributes when written.
    for (int position = 0; position < 4; ++position) {
      if (write) {
        auto r = cursor.Take(link::kAttributeHash, read, kCharHash, key);
        if (!r || *r != Outcome::Answer) return r;
      }
      auto r = cursor.Take(kCharHash, read, std::nullopt, key);
      if (!r || *r != Outcome::Answer) return r;
    }
    return Outcome::Answer;
  }
  const uint16_t hash = link::NameHash(e.name);
  if (e.has_attributes) {
    auto r = cursor.Take(link::kAttributeHash, read, hash, key);
    if (!r || *r != Outcome::Answer) return r;
  }
  return cursor.Take(hash, read, std::nullopt, key);
}

}  // namespace

std::vector<Attempt> ParseAttempts(const std::string& trace, double reply_wait_seconds,
                                   bool& foreign) {
  foreign = false;
  std::vector<TraceLine> lines;
  std::istringstream in(trace);
  std::string text;
  while (std::getline(in, text))
    if (auto line = ParseLine(text)) lines.push_back(std::move(*line));

  std::vector<Attempt> attempts;
  for (size_t i = 0; i < lines.size(); ++i) {
    const TraceLine& rx = lines[i];
    if (!rx.received) continue;
    if (!rx.decoded) {
      foreign = true;
      continue;
    }
    Attempt a;
    a.seconds = rx.seconds;
    a.request = rx.chars;
    a.read = rx.read;
    a.hash = rx.hash;
    a.data = rx.data;
    if (rx.note.rfind("ignored", 0) == 0) {
      a.outcome = Outcome::Timeout;  // the device let it pass unanswered
    } else if (i + 1 < lines.size() && !lines[i + 1].received) {
      const TraceLine& tx = lines[i + 1];
      a.delay = tx.seconds - rx.seconds;
      a.outcome = a.delay > reply_wait_seconds - kTimingMargin
                      ? Outcome::Uncertain
                      : Classify(tx, rx.chars, rx.hash, a.error_data);
    } else {
      a.outcome = Outcome::Uncertain;  // answered later, or the trace ends here
    }
    attempts.push_back(std::move(a));
  }
  return attempts;
}

Replay ReplayRun(const std::string& trace, const std::vector<TreeEntry>& walk, bool write,
                 double reply_wait_seconds) {
  Replay replay;
  bool foreign = false;
  const std::vector<Attempt> attempts = ParseAttempts(trace, reply_wait_seconds, foreign);
  replay.attempts = static_cast<int>(attempts.size());
  for (const Attempt& a : attempts) replay.slow = replay.slow || a.delay > kSlowAnswer;
  if (foreign) {
    replay.why = "requests in another protocol (the link check needed its probes)";
    return replay;
  }

  // Requests with their retries: the same frame again after a time-out or a lost start.
  std::vector<Request> requests;
  for (size_t i = 0; i < attempts.size();) {
    Request r;
    r.read = attempts[i].read;
    r.hash = attempts[i].hash;
    r.data = attempts[i].data;
    const std::string& frame = attempts[i].request;
    int timeouts = 0;
    for (bool more = true; more;) {
      if (i >= attempts.size()) {
        replay.Astray("the trace ends while a request still had retries");
        return replay;
      }
      const Attempt& a = attempts[i++];
      ++r.attempts;
      if (a.request != frame) {
        replay.Astray("a request was given up before its retries were spent");
        return replay;
      }
      if (a.outcome == Outcome::Uncertain) {
        replay.why = "an answer the trace cannot place within the reply wait";
        return replay;
      }
      r.result = a.outcome;
      r.error_data = a.error_data;
      if (r.hash == link::kApplyHash) break;  // sent once, whatever came back
      if (a.outcome == Outcome::Timeout && timeouts < kTimeoutRetries) {
        ++timeouts;
      } else {
        more = false;
      }
    }
    requests.push_back(std::move(r));
  }

  RequestCursor cursor(requests, replay);
  // The link check at start-up: "dev" through the automatic converter and, if that
  // fails, through the semi-automatic one; then "ver". More would take the probes.
  for (int converter = 0;; ++converter) {
    if (cursor.AtEnd() || cursor.Peek().hash != kDevHash || converter == 2) {
      replay.why = "a link check that did not find the device by its name";
      return replay;
    }
    if (cursor.Consume().result == Outcome::Answer) break;
  }
  if (!cursor.Take(kVerHash, true, std::nullopt, "ver of the link check")) return replay;
  // The task opens the port anew; before its first write the link reads "dev" once to
  // find out whether the converter gives requests back.
  if (write && !cursor.AtEnd() && cursor.Peek().hash == kDevHash && cursor.Peek().read)
    cursor.Skip();
  replay.modelled = true;

  int streak = 0;
  for (const TreeEntry& e : walk) {
    if (write && (!e.writable || e.value == kNoData)) continue;
    const std::optional<Outcome> result = ExchangeEntry(cursor, e, write);
    if (!result) return replay;
    if (*result != Outcome::Answer) replay.failed.push_back(e.Key());
    if (!write) {
      streak = *result == Outcome::Timeout ? streak + 1 : 0;
    } else if (*result == Outcome::Answer) {
      streak = 0;
    } else if (*result == Outcome::Timeout) {
      ++streak;
    }
    if (streak > kStreakLimit) {
      replay.cancelled = true;
      if (write) replay.exit_status = kStatusTimeout;
      break;
    }
  }
  // After the task only the apply command may follow.
  while (!cursor.AtEnd()) {
    if (cursor.Peek().hash != link::kApplyHash) {
      cursor.Astray(replay.cancelled ? "requests after the task was cancelled"
                                     : "requests after the last parameter");
      break;
    }
    cursor.Consume();
  }
  return replay;
}

int ExitCodeFor(uint32_t status) {
  status &= 0xFF;
  return status == 0 ? 0 : 200 + std::countr_zero(status);
}

std::vector<std::string> ErrorLogKeys(const std::string& log) {
  std::vector<std::string> keys;
  std::istringstream in(log);
  std::string line;
  while (std::getline(in, line)) {
    const size_t dash = line.find(" - ");
    if (dash == std::string::npos || dash == 0) continue;
    const std::string key = line.substr(0, dash);
    if (key.find(' ') == std::string::npos) keys.push_back(key);
  }
  return keys;
}

void Replay::Astray(const std::string& reason) {
  if (!why.empty()) return;
  why = reason;
  // On a busy machine an answer may have come too late although the trace shows it in
  // time; then the trace does not tell what the configurator saw.
  if (slow) {
    modelled = false;
    why += " (answers were slow: the trace may not show what the configurator saw)";
  } else {
    astray = true;
  }
}

}  // namespace vesk::faults
