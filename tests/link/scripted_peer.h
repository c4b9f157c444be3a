#pragma once
// A device stand-in on the master side of a pseudo-terminal: it collects each request
// frame the link sends and answers it as the test's script says.

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "platform/event.h"

namespace vesk::test {

// What to answer to one request; nullopt stays silent.
using Handler = std::function<std::optional<std::string>(const std::string& request)>;

// A LORN request as the peer saw it.
struct Request {
  bool valid = false;  // a frame whose checksum holds
  int address = 0;     // byte 0 of the frame
  bool read = false;
  uint16_t hash = 0;
  std::vector<uint8_t> data;
};
Request DecodeRequest(std::string_view line);

// The line form of a reply frame (same layout as a request). A device answers with the
// address and request flag of the request.
std::string LornReply(uint16_t hash, const std::vector<uint8_t>& data, int address = 16,
                      bool read = false);

Handler Silent();
Handler SendText(std::string text);
// These answer as the device does, with the request's address and request flag.
// Answers with the request's hash and `data`.
Handler Answer(std::vector<uint8_t> data);
// Answers with the request's hash and the request's own data.
Handler Echo();
// An "n.Err" reply carrying `data`.
Handler ErrorReply(std::vector<uint8_t> data);

class ScriptedPeer {
 public:
  enum class Framing { CarriageReturn, Pause };

  ScriptedPeer();  // opens the pseudo-terminal; throws when it cannot
  ~ScriptedPeer();
  ScriptedPeer(const ScriptedPeer&) = delete;
  ScriptedPeer& operator=(const ScriptedPeer&) = delete;

  const std::string& slave_path() const { return slave_path_; }

  // Set before start: how a request ends (carriage return, or a pause in Modbus RTU).
  void set_framing(Framing framing) { framing_ = framing; }
  // Steps answer the requests in order; once used up, the fallback answers.
  void Script(std::vector<Handler> steps);
  void set_fallback(Handler handler);

  void Start();
  void Stop();

  std::vector<std::string> requests();
  // Waits until at least n requests arrived; false on time-out.
  bool WaitRequests(size_t n, std::chrono::milliseconds timeout);

 private:
  void Run();
  void Handle(const std::string& request);

  int master_ = -1;
  std::string slave_path_;
  Framing framing_ = Framing::CarriageReturn;
  platform::Event quit_;
  std::thread thread_;
  std::mutex mutex_;
  std::condition_variable arrived_;
  std::deque<Handler> steps_;
  Handler fallback_;
  std::vector<std::string> requests_;
};

}  // namespace vesk::test
