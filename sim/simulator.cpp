#include "simulator.h"

#include <poll.h>

#include <cerrno>
#include <cmath>
#include <ctime>

#include "link/frame_codec.h"
#include "lorn_responder.h"

namespace vesk::sim {

namespace {

constexpr size_t kReadChunk = 256;
// How long an answer may wait for room on the line before it is given up.
constexpr int kWriteWaitMs = 50;
// A line that reports a hang-up with nothing to read is looked at again after this.
constexpr auto kHangupPause = std::chrono::milliseconds(20);

timespec to_timespec(std::chrono::nanoseconds d) {
  if (d.count() < 0) d = std::chrono::nanoseconds(0);
  timespec ts;
  ts.tv_sec = static_cast<time_t>(d.count() / 1000000000);
  ts.tv_nsec = static_cast<long>(d.count() % 1000000000);
  return ts;
}

}  // namespace

LineParams line_params(const NetSettings& net) {
  return LineParams{net.baud, net.stopBits, net.dataBits, net.parity};
}

double line_time_ms(const NetSettings& net, size_t chars) {
  // A start bit, the data bits, the parity bit, the stop bits.
  double bits = 1 + net.dataBits + (net.parity != kDeviceParityNone ? 1 : 0) + net.stopBits;
  return static_cast<double>(chars) * bits * 1000.0 / net.baud;
}

Simulator::Simulator(Device& device, Line& line, const SimOptions& options, TraceLog& trace,
                     Clock::time_point start)
    : device_(device),
      line_(line),
      options_(options),
      trace_(trace),
      start_(start),
      faults_(options.faults),
      lorn_(link::kFrameStart, link::kFrameEnd, link::kMaxFrameChars),
      probe_(device.protocol()) {}

double Simulator::seconds(Clock::time_point t) const {
  return std::chrono::duration<double>(t - start_).count();
}

std::string Simulator::deaf_reason(Clock::time_point now) const {
  if (now < restartUntil_) return "restarting";
  LineParams peer;
  if (!line_.peer_params(peer)) return "line format unreadable";
  const NetSettings& net = device_.network();
  if (peer.baud != net.baud || peer.stopBits != net.stopBits) {
    return "line " + std::to_string(peer.baud) + "/" + std::to_string(peer.stopBits) + ", device " +
           std::to_string(net.baud) + "/" + std::to_string(net.stopBits);
  }
  return {};
}

void Simulator::receive(std::string_view chars, Clock::time_point now) {
  if (probe_.protocol() != device_.protocol()) probe_ = ProbeResponder(device_.protocol());
  const bool lorn = device_.protocol() == Protocol::Lorn;
  const int32_t address = device_.network().address;
  for (char c : chars) {
    if (auto frame = lorn_.feed(c)) {
      if (lorn)
        on_lorn_frame(*frame, now);
      else
        trace_.record(seconds(now), true, *frame, std::nullopt, "other protocol");
    }
    if (!lorn)
      if (auto frame = probe_.feed(c, address)) on_probe_frame(*frame, now);
  }
}

void Simulator::on_lorn_frame(const std::string& chars, Clock::time_point now) {
  // The answer goes out with the settings the request came in with, whatever it changes.
  const NetSettings net = device_.network();
  std::optional<LornRequest> request = parse_lorn_request(chars, net.addressBits);
  std::optional<FrameInfo> info = lorn_frame_info(chars, net.addressBits);
  if (std::string why = deaf_reason(now); !why.empty()) {
    trace_.record(seconds(now), true, chars, info, "ignored: " + why);
    return;
  }
  if (!request) {
    trace_.record(seconds(now), true, chars, std::nullopt, "ignored: not a frame");
    return;
  }
  LornOutcome out = respond_lorn(device_, *request, now);
  if (info) info->index = out.index;
  trace_.record(seconds(now), true, chars, info, out.forDevice ? "" : "ignored: other address");
  if (!out.forDevice) return;
  ++framesForDevice_;
  const bool new_settings = out.action != LornAction::None;
  bool queued = false;
  if (!out.reply.empty()) queued = answer(out.reply, net, out.index, now, new_settings);
  if (out.action == LornAction::Apply) device_.apply_network();
  if (out.action == LornAction::Restart) {
    device_.restart(now);
    Clock::time_point from = queued ? pending_.back().due : now;
    restartUntil_ = from + std::chrono::milliseconds(options_.restartMs);
  }
  if (new_settings && !queued) retune();
}

void Simulator::on_probe_frame(const ProbeResponder::Frame& frame, Clock::time_point now) {
  if (std::string why = deaf_reason(now); !why.empty()) {
    trace_.record(seconds(now), true, frame.request, std::nullopt, "ignored: " + why);
    return;
  }
  trace_.record(seconds(now), true, frame.request, std::nullopt,
                frame.reply.empty() ? "ignored: not for the device" : "");
  if (frame.reply.empty()) return;
  ++framesForDevice_;
  answer(frame.reply, device_.network(), -1, now, false);
}

bool Simulator::answer(std::string reply, const NetSettings& net, int32_t index,
                       Clock::time_point now, bool retune_after) {
  std::optional<std::string> sent = faults_.apply(std::move(reply), device_.protocol());
  if (!sent) {
    trace_.record(seconds(now), false, "", std::nullopt, "answer lost (fault)");
    return false;
  }
  std::optional<FrameInfo> info;
  if (device_.protocol() == Protocol::Lorn) info = lorn_frame_info(*sent, net.addressBits);
  if (info) info->index = index;
  double delay_ms = faults_.late_ms();
  if (options_.lineTiming) delay_ms += line_time_ms(net, sent->size()) + options_.turnaroundMs;
  Clock::time_point due = now + std::chrono::duration_cast<Clock::duration>(
                                    std::chrono::duration<double, std::milli>(delay_ms));
  if (!pending_.empty() && due < pending_.back().due) due = pending_.back().due;
  pending_.push_back(Pending{due, std::move(*sent), std::move(info), retune_after});
  return true;
}

void Simulator::retune() {
  line_.set_params(line_params(device_.network()));
}

bool Simulator::send_due(Clock::time_point now) {
  while (!pending_.empty() && pending_.front().due <= now) {
    Pending p = std::move(pending_.front());
    pending_.pop_front();
    bool ok = line_.write_all(p.chars, kWriteWaitMs);
    if (!ok && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      // Nobody collects the answers: forget the old ones rather than block the device.
      line_.drop_unread();
      ok = line_.write_all(p.chars, kWriteWaitMs);
    }
    trace_.record(seconds(Clock::now()), false, p.chars, p.info, ok ? "" : "not sent: line full");
    if (ok) ++answersSent_;
    if (p.retuneAfter) retune();
    if (!ok && errno != EAGAIN && errno != EWOULDBLOCK && errno != EIO) return false;
  }
  return true;
}

int Simulator::run(int stop_fd, std::string& error) {
  char buffer[kReadChunk];
  for (;;) {
    pollfd fds[2] = {{stop_fd, POLLIN, 0}, {line_.fd(), POLLIN, 0}};
    timespec ts{};
    timespec* timeout = nullptr;
    if (!pending_.empty()) {
      ts = to_timespec(pending_.front().due - Clock::now());
      timeout = &ts;
    }
    int r = ::ppoll(fds, 2, timeout, nullptr);
    if (r < 0) {
      if (errno == EINTR) continue;
      error = system_error("waiting for the line failed", errno);
      return 1;
    }
    if (fds[0].revents) return 0;
    if (fds[1].revents) {
      ssize_t n = line_.read_some(buffer, sizeof buffer);
      if (n < 0) {
        error = system_error("reading the line failed", errno);
        return 1;
      }
      if (n > 0) {
        receive(std::string_view(buffer, static_cast<size_t>(n)), Clock::now());
      } else if (fds[1].revents & (POLLHUP | POLLERR)) {
        // Nobody on the other side and nothing to read: wait for the next opener
        // without spinning, still answering a stop at once.
        pollfd stop{stop_fd, POLLIN, 0};
        timespec pause = to_timespec(kHangupPause);
        if (::ppoll(&stop, 1, &pause, nullptr) > 0) return 0;
      }
    }
    if (!send_due(Clock::now())) {
      error = system_error("writing the line failed", errno);
      return 1;
    }
  }
}

}  // namespace vesk::sim
