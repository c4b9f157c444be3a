#include "sim_test_support.h"

#include <cstdlib>
#include <stdexcept>

#include "description_source.h"
#include "link/frame_codec.h"
#include "platform/text.h"

namespace vesk::sim::test {

std::string tree_path() {
  const char* env = std::getenv("VESK_TREE_DAT");
  if (env && *env) return env;
  return std::string(VESK_BIN_DIR) + "/vesk.tree.dat";
}

const std::vector<ParameterSpec>& description_specs() {
  static const std::vector<ParameterSpec> specs = [] {
    std::vector<ParameterSpec> s;
    std::string error;
    if (!load_specs(tree_path(), s, error)) throw std::runtime_error(error);
    return s;
  }();
  return specs;
}

std::unique_ptr<Device> make_device(const SimOptions& options) {
  std::vector<std::string> warnings;
  auto start = std::chrono::steady_clock::now();
  auto device =
      std::make_unique<Device>(DeviceStore::build(description_specs(), warnings), options, start);
  device->power_on(options, start);
  return device;
}

int Exchange::error() const {
  return answered && hash == link::kErrorReplyHash && !data.empty() ? data[0] : -1;
}

Exchange ask(Device& device, bool read, uint16_t hash, std::vector<uint8_t> data, int offset,
             std::chrono::steady_clock::time_point now) {
  const NetSettings& net = device.network();
  std::string frame = lorn_frame(net.address + offset, net.addressBits, read, hash, data.data(),
                                 static_cast<int>(data.size()));
  Exchange e;
  auto request = parse_lorn_request(frame, net.addressBits);
  if (!request) throw std::logic_error("the test built a frame the device cannot parse");
  e.outcome = respond_lorn(device, *request, now);
  link::ReplyFrame reply;
  if (!e.outcome.reply.empty() && link::parse_reply(e.outcome.reply, reply)) {
    e.answered = true;
    e.hash = reply.hash;
    e.data.assign(reply.data, reply.data + reply.count);
  }
  return e;
}

Exchange ask(Device& device, bool read, const char* name, std::vector<uint8_t> data, int offset) {
  return ask(device, read, link::name_hash(name), std::move(data), offset);
}

RunningSim::RunningSim(SimOptions options) : options_(std::move(options)) {
  device_ = make_device(options_);
  std::string error;
  line_ = Line::open_pty(line_params(device_->network()), error);
  if (!line_) throw std::runtime_error(error);
  if (!options_.tracePath.empty() && !trace_.open(options_.tracePath, error))
    throw std::runtime_error(error);
  simulator_ = std::make_unique<Simulator>(*device_, *line_, options_, trace_,
                                           std::chrono::steady_clock::now());
  thread_ = std::thread([this] {
    std::string error;
    simulator_->run(stop_.fd(), error);
  });
}

RunningSim::~RunningSim() {
  stop();
}

void RunningSim::stop() {
  stop_.set();
  if (thread_.joinable()) thread_.join();
}

Client::Client(const std::string& path, int32_t baud, int32_t stop_bits, int32_t address,
               int32_t address_bits)
    : path_(path) {
  link_.set_command_line_run(true);
  link_.port().set_converter_mode(link::kConverterAuto);
  reopen(baud, stop_bits, address, address_bits);
}

void Client::reopen(int32_t baud, int32_t stop_bits, int32_t address, int32_t address_bits) {
  link::PortSettings& s = link_.port().settings();
  s.port_name = path_;
  s.baud_rate = baud;
  s.stop_bits = stop_bits;
  s.device_address = address;
  s.address_length = address_bits;
  if (link_.open_port(false) != link::kOpenOk)
    throw std::runtime_error("the client cannot open " + path_);
}

std::unique_ptr<link::Parameter> Client::parameter(const std::string& name, int index,
                                                   int poll_index) {
  auto p = std::make_unique<link::Parameter>(name);
  for (const ParameterSpec& s : description_specs()) {
    if (!platform::iequals(s.name, name)) continue;
    p->typeText = s.typeText;
    p->minimum = s.minimum;
    p->maximum = s.maximum;
    p->hasAttributes = s.hasAttributes ? 1 : 0;
    p->writable = s.writable;
    break;
  }
  // The network name travels as four codes, each an "int" of its own.
  if (name == "CHAr") p->typeText = "int";
  if (index >= 0) {
    p->indexed = true;
    p->linearIndex = index;
  }
  if (poll_index >= 0) p->pollIndex = poll_index;
  return p;
}

std::string Client::read_value(const std::string& name, int index, int poll_index) {
  auto p = parameter(name, index, poll_index);
  return read(*p) == link::kExchangeOk ? p->value : "error: " + p->note;
}

}  // namespace vesk::sim::test
