#include "scripted_peer.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "link/frame_codec.h"

namespace vesk::test {

using namespace std::chrono_literals;

Request decode_request(std::string_view line) {
  Request r;
  link::ReplyFrame frame;
  if (line.empty() || line.front() != '#' || !link::parse_reply(line, frame)) return r;
  uint8_t head[2];
  link::decode_buffer(line.data() + 1, 4, head, 2);
  r.valid = true;
  r.address = head[0];
  r.read = (head[1] & 0x10) != 0;
  r.hash = frame.hash;
  r.data.assign(frame.data, frame.data + frame.count);
  return r;
}

std::string lorn_reply(uint16_t hash, const std::vector<uint8_t>& data, int address) {
  link::RequestFrame f;
  if (!link::build_request(false, hash, data.data(), static_cast<int>(data.size()), {address, 8, 0},
                           f))
    throw std::invalid_argument("reply data too long");
  return std::string(f.text());
}

Handler silent() {
  return [](const std::string&) { return std::nullopt; };
}

Handler send_text(std::string text) {
  return [text](const std::string&) { return std::optional<std::string>(text); };
}

Handler answer(std::vector<uint8_t> data) {
  return [data](const std::string& line) {
    return std::optional<std::string>(lorn_reply(decode_request(line).hash, data));
  };
}

Handler echo() {
  return [](const std::string& line) {
    Request r = decode_request(line);
    return std::optional<std::string>(lorn_reply(r.hash, r.data));
  };
}

Handler error_reply(std::vector<uint8_t> data) {
  return [data](const std::string&) {
    return std::optional<std::string>(lorn_reply(link::kErrorReplyHash, data));
  };
}

ScriptedPeer::ScriptedPeer() : fallback_(silent()) {
  master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
  if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
    throw std::runtime_error(std::string("pseudo-terminal: ") + std::strerror(errno));
  char name[128];
  if (::ptsname_r(master_, name, sizeof name) != 0)
    throw std::runtime_error(std::string("ptsname: ") + std::strerror(errno));
  slave_path_ = name;
  ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
}

ScriptedPeer::~ScriptedPeer() {
  stop();
  if (master_ >= 0) ::close(master_);
}

void ScriptedPeer::script(std::vector<Handler> steps) {
  std::lock_guard lock(mutex_);
  steps_.assign(steps.begin(), steps.end());
}

void ScriptedPeer::set_fallback(Handler handler) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(handler);
}

void ScriptedPeer::start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
}

void ScriptedPeer::stop() {
  if (!thread_.joinable()) return;
  quit_.set();
  thread_.join();
  quit_.reset();
}

std::vector<std::string> ScriptedPeer::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptedPeer::wait_requests(size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

void ScriptedPeer::handle(const std::string& request) {
  Handler h;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(request);
    if (!steps_.empty()) {
      h = std::move(steps_.front());
      steps_.pop_front();
    } else {
      h = fallback_;
    }
  }
  arrived_.notify_all();
  if (std::optional<std::string> reply = h(request)) {
    size_t done = 0;
    while (done < reply->size()) {
      ssize_t n = ::write(master_, reply->data() + done, reply->size() - done);
      if (n > 0) {
        done += static_cast<size_t>(n);
      } else if (n < 0 && errno != EAGAIN && errno != EINTR) {
        break;
      } else {
        pollfd p{master_, POLLOUT, 0};
        ::poll(&p, 1, 10);
      }
    }
  }
}

void ScriptedPeer::run() {
  std::string pending;
  for (;;) {
    pollfd fds[2] = {{quit_.fd(), POLLIN, 0}, {master_, POLLIN, 0}};
    // A frame without an end character is over after a short pause.
    const int timeout = framing_ == Framing::Pause && !pending.empty() ? 5 : 200;
    int r = ::poll(fds, 2, timeout);
    if (r < 0 && errno == EINTR) continue;
    if (fds[0].revents) return;
    if (r == 0) {
      if (framing_ == Framing::Pause && !pending.empty()) {
        handle(pending);
        pending.clear();
      }
      continue;
    }
    if (fds[1].revents & POLLIN) {
      char buf[256];
      ssize_t n = ::read(master_, buf, sizeof buf);
      if (n > 0) {
        pending.append(buf, static_cast<size_t>(n));
        if (framing_ == Framing::CarriageReturn) {
          size_t cr;
          while ((cr = pending.find('\r')) != std::string::npos) {
            std::string frame = pending.substr(0, cr + 1);
            pending.erase(0, cr + 1);
            handle(frame);
          }
        }
        continue;
      }
    }
    // No slave side open (between a close and the next open): nothing to read yet.
    if (fds[1].revents & (POLLHUP | POLLERR)) {
      pollfd q{quit_.fd(), POLLIN, 0};
      if (::poll(&q, 1, 2) > 0) return;
    }
  }
}

}  // namespace vesk::test
