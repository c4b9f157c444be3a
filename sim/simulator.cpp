#include "simulator.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>

#include "link/frame_codec.h"
#include "lorn_responder.h"

namespace vesk::sim {

namespace {

constexpr size_t kReadChunk = 256;
constexpr int32_t kBroadcastAddress = 255;
// How long an answer may wait for room on the line before it is given up.
constexpr int kWriteWaitMs = 50;
// A line that reports a hang-up with nothing to read is looked at again after this.
constexpr auto kHangupPause = std::chrono::milliseconds(20);

timespec ToTimespec(std::chrono::nanoseconds d) {
  if (d.count() < 0) d = std::chrono::nanoseconds(0);
  timespec ts;
  ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
  return ts;
}

}  // namespace

LineParams LineParamsOf(const NetSettings& net) {
  return LineParams{net.baud, net.stop_bits, net.data_bits, net.parity};
}

double LineTimeMs(const NetSettings& net, size_t chars) {
  // A start bit, the data bits, the parity bit, the stop bits.
  double bits = 1 + net.data_bits + (net.parity != kDeviceParityNone ? 1 : 0) + net.stop_bits;
  return static_cast<double>(chars) * bits * 1000.0 / net.baud;
}

Simulator::Simulator(Device& device, Line& line, const SimOptions& options, TraceLog& trace,
                     Clock::time_point start)
    : Simulator(std::vector<Device*>{&device}, line, options, trace, start) {}

Simulator::Simulator(std::vector<Device*> devices, Line& line, const SimOptions& options,
                     TraceLog& trace, Clock::time_point start)
    : devices_(std::move(devices)),
      line_(line),
      options_(options),
      trace_(trace),
      start_(start),
      faults_(options.faults),
      lorn_(link::kFrameStart, link::kFrameEnd, link::kMaxFrameChars),
      probe_(devices_.front()->protocol()),
      restart_until_(devices_.size()) {}

double Simulator::Seconds(Clock::time_point t) const {
  return std::chrono::duration<double>(t - start_).count();
}

std::string Simulator::DeafReason(size_t i, Clock::time_point now) const {
  if (now < restart_until_[i]) return "restarting";
  LineParams peer;
  if (!line_.PeerParams(peer)) return "line format unreadable";
  const NetSettings& net = devices_[i]->network();
  if (peer.baud != net.baud || peer.stop_bits != net.stop_bits) {
    return "line " + std::to_string(peer.baud) + "/" + std::to_string(peer.stop_bits) +
           ", device " + std::to_string(net.baud) + "/" + std::to_string(net.stop_bits);
  }
  return {};
}

void Simulator::Receive(std::string_view chars, Clock::time_point now) {
  // The converter hears the request as it goes out, so its copy comes back before any
  // device can begin to answer.
  if (options_.faults.echo && !line_.WriteAll(chars, kWriteWaitMs)) line_.DropUnread();
  if (options_.no_device) {
    for (char c : chars)
      if (auto frame = lorn_.Feed(c))
        trace_.Record(Seconds(now), true, *frame, std::nullopt, "ignored: no device");
    return;
  }
  Device& first = *devices_.front();
  if (probe_.protocol() != first.protocol()) probe_ = ProbeResponder(first.protocol());
  const bool probes = first.protocol() != Protocol::Lorn;
  const int32_t address = first.network().address;
  for (char c : chars) {
    if (auto frame = lorn_.Feed(c)) OnLornFrame(*frame, now);
    if (probes)
      if (auto frame = probe_.Feed(c, address)) OnProbeFrame(*frame, now);
  }
}

void Simulator::OnLornFrame(const std::string& chars, Clock::time_point now) {
  std::string note = "other protocol";
  bool taken = false;
  std::optional<FrameInfo> info;
  for (size_t i = 0; i < devices_.size(); ++i) {
    if (devices_[i]->protocol() != Protocol::Lorn) continue;
    if (!info) info = LornFrameInfo(chars, devices_[i]->network().address_bits);
    bool broadcast = false;
    // Every device acts on a broadcast; any other frame is one device's at most.
    if (OfferLornFrame(i, chars, now, note, broadcast)) {
      if (!broadcast) return;
      taken = true;
    }
  }
  if (!taken)
    trace_.Record(Seconds(now), true, chars, note == "ignored: not a frame" ? std::nullopt : info,
                  note);
}

bool Simulator::OfferLornFrame(size_t i, const std::string& chars, Clock::time_point now,
                               std::string& note, bool& broadcast) {
  Device& device = *devices_[i];
  // The answer goes out with the settings the request came in with, whatever it changes.
  const NetSettings net = device.network();
  if (std::string why = DeafReason(i, now); !why.empty()) {
    note = "ignored: " + why;
    return false;
  }
  std::optional<LornRequest> request = ParseLornRequest(chars, net.address_bits);
  if (!request) {
    note = "ignored: not a frame";
    return false;
  }
  LornOutcome out = RespondLorn(device, *request, now);
  if (!out.for_device) {
    note = "ignored: other address";
    return false;
  }
  broadcast = request->address == kBroadcastAddress && net.address != kBroadcastAddress;
  std::optional<FrameInfo> info = LornFrameInfo(chars, net.address_bits);
  if (info) info->index = out.index;
  trace_.Record(Seconds(now), true, chars, info, "");
  ++frames_for_device_;
  const bool new_settings = out.action != LornAction::None;
  bool queued = false;
  if (!out.reply.empty())
    queued = Answer(out.reply, device.protocol(), net, out.index, now, new_settings, i);
  if (out.action == LornAction::Apply) device.ApplyNetwork();
  if (out.action == LornAction::Restart) {
    device.Restart(now);
    Clock::time_point from = queued ? pending_.back().due : now;
    restart_until_[i] = from + std::chrono::milliseconds(options_.restart_ms);
  }
  if (new_settings && !queued) Retune(i);
  return true;
}

void Simulator::OnProbeFrame(const ProbeResponder::Frame& frame, Clock::time_point now) {
  if (std::string why = DeafReason(0, now); !why.empty()) {
    trace_.Record(Seconds(now), true, frame.request, std::nullopt, "ignored: " + why);
    return;
  }
  trace_.Record(Seconds(now), true, frame.request, std::nullopt,
                frame.reply.empty() ? "ignored: not for the device" : "");
  if (frame.reply.empty()) return;
  ++frames_for_device_;
  Device& first = *devices_.front();
  Answer(frame.reply, first.protocol(), first.network(), -1, now, false, 0);
}

bool Simulator::Answer(std::string reply, Protocol protocol, const NetSettings& net, int32_t index,
                       Clock::time_point now, bool retune_after, size_t device) {
  std::optional<std::string> sent = faults_.Apply(std::move(reply), protocol);
  if (!sent) {
    trace_.Record(Seconds(now), false, "", std::nullopt, "answer lost (fault)");
    return false;
  }
  std::optional<FrameInfo> info;
  if (protocol == Protocol::Lorn) info = LornFrameInfo(*sent, net.address_bits);
  if (info) info->index = index;
  double delay_ms = faults_.LateMs();
  if (options_.line_timing) delay_ms += LineTimeMs(net, sent->size()) + options_.turnaround_ms;
  Clock::time_point due = now + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double, std::milli>(delay_ms));
  Clock::duration char_time{0};
  if (options_.line_timing)
    char_time = std::chrono::duration_cast<Clock::duration>(
        std::chrono::duration<double, std::milli>(LineTimeMs(net, 1)));
  // One answer at a time on the line: this one begins once the one before has ended.
  if (!pending_.empty())
    due = std::max(due, pending_.back().due + char_time * static_cast<int64_t>(sent->size()));
  pending_.push_back(
      Pending{due, std::move(*sent), std::move(info), retune_after, device, char_time});
  return true;
}

Simulator::Clock::time_point Simulator::Pending::NextDue() const {
  if (sent >= chars.size()) return due;
  return due - char_time * static_cast<int64_t>(chars.size() - 1 - sent);
}

void Simulator::Retune(size_t device) {
  line_.SetParams(LineParamsOf(devices_[device]->network()));
}

bool Simulator::SendDue(Clock::time_point now) {
  while (!pending_.empty() && pending_.front().NextDue() <= now) {
    Pending& front = pending_.front();
    // Every character due by now goes out at once: a late wake-up catches up.
    size_t upto = front.chars.size();
    if (front.char_time.count() > 0 && front.due > now) {
      const auto ahead = (front.due - now).count(), step = front.char_time.count();
      const auto not_due = static_cast<size_t>((ahead + step - 1) / step);
      upto = not_due >= upto ? front.sent : std::max(front.sent, upto - not_due);
    }
    const std::string_view part =
        std::string_view(front.chars).substr(front.sent, upto - front.sent);
    bool ok = line_.WriteAll(part, kWriteWaitMs);
    if (!ok && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Nobody collects the answers: forget the old ones rather than block the device.
      line_.DropUnread();
      ok = line_.WriteAll(part, kWriteWaitMs);
    }
    front.sent = upto;
    if (ok && upto < front.chars.size()) return true;
    Pending p = std::move(front);
    pending_.pop_front();
    trace_.Record(Seconds(Clock::now()), false, p.chars, p.info, ok ? "" : "not sent: line full");
    if (ok) ++answers_sent_;
    if (p.retune_after) Retune(p.device);
    if (!ok && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO) return false;
  }
  return true;
}

int Simulator::Run(int stop_fd, std::string& error) {
  char buffer[kReadChunk];
  for (;;) {
    pollfd fds[3] = {{stop_fd, POLLIN, 0}, {line_.fd(), POLLIN, 0}, {line_.listen_fd(), POLLIN, 0}};
    timespec ts{};
    timespec* timeout = nullptr;
    if (!pending_.empty()) {
      ts = ToTimespec(pending_.front().NextDue() - Clock::now());
      timeout = &ts;
    }
    int r = ::ppoll(fds, 3, timeout, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      error = SystemError("waiting for the line failed", errno);
      return 1;
    }
    if (fds[0].revents) return 0;
    if (fds[2].revents) line_.Accept();
    if (fds[1].revents) {
      ssize_t n = line_.ReadSome(buffer, sizeof buffer);
      if (n < 0) {
        error = SystemError("reading the line failed", errno);
        return 1;
      }
      if (n > 0) {
        Receive(std::string_view(buffer, static_cast<size_t>(n)), Clock::now());
      } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        // Nobody on the other side and nothing to read: wait for the next opener
        // without spinning, still answering a stop at once.
        pollfd stop{stop_fd, POLLIN, 0};
        timespec pause = ToTimespec(kHangupPause);
        if (::ppoll(&stop, 1, &pause, nullptr) > 0) return 0;
      }
    }
    if (!SendDue(Clock::now())) {
      error = SystemError("writing the line failed", errno);
      return 1;
    }
  }
}

}  // namespace vesk::sim
