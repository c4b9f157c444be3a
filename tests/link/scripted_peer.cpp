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

Request DecodeRequest(std::string_view line) {
  Request r;
  link::ReplyFrame frame;
  if (line.empty() || line.front() != '#' || !link::ParseReply(line, frame)) return r;
  uint8_t head[2];
  link::DecodeBuffer(line.data() + 1, 4, head, 2);
  r.valid = true;
  r.address = head[0];
  r.read = (head[1] & 0x10) != 0;
  r.hash = frame.hash;
  r.data.assign(frame.data, frame.data + frame.count);
  return r;
}

std::string LornReply(uint16_t hash, const std::vector<uint8_t>& data, int address, bool read) {
  link::RequestFrame f;
  if (!link::BuildRequest(read, hash, data.data(), static_cast<int>(data.size()), {address, 8, 0},
                          f))
    throw std::invalid_argument("reply data too long");
  return std::string(f.Text());
}

Handler Silent() {
  return [](const std::string&) { return std::nullopt; };
}

Handler SendText(std::string text) {
  return [text](const std::string&) { return std::optional<std::string>(text); };
}

Handler Answer(std::vector<uint8_t> data) {
  return [data](const std::string& line) {
    const Request r = DecodeRequest(line);
    return std::optional<std::string>(LornReply(r.hash, data, r.address, r.read));
  };
}

Handler Echo() {
  return [](const std::string& line) {
    Request r = DecodeRequest(line);
    return std::optional<std::string>(LornReply(r.hash, r.data, r.address, r.read));
  };
}

Handler ErrorReply(std::vector<uint8_t> data) {
  return [data](const std::string& line) {
    const Request r = DecodeRequest(line);
    return std::optional<std::string>(LornReply(link::kErrorReplyHash, data, r.address, r.read));
  };
}

ScriptedPeer::ScriptedPeer() : fallback_(Silent()) {
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
  Stop();
  if (master_ >= 0) ::close(master_);
}

void ScriptedPeer::Script(std::vector<Handler> steps) {
  std::lock_guard lock(mutex_);
  steps_.assign(steps.begin(), steps.end());
}

void ScriptedPeer::set_fallback(Handler handler) {
  std::lock_guard lock(mutex_);
  fallback_ = std::move(handler);
}

void ScriptedPeer::Start() {
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
}

void ScriptedPeer::Stop() {
  if (!thread_.joinable()) return;
  quit_.Set();
  thread_.join();
  quit_.reset();
}

std::vector<std::string> ScriptedPeer::requests() {
  std::lock_guard lock(mutex_);
  return requests_;
}

bool ScriptedPeer::WaitRequests(size_t n, std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return arrived_.wait_for(lock, timeout, [&] { return requests_.size() >= n; });
}

void ScriptedPeer::Handle(const std::string& request) {
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

void ScriptedPeer::Run() {
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
        Handle(pending);
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
            Handle(frame);
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
