#include "sim_test_support.h"

#include <cstdlib>
#include <stdexcept>

#include "description_source.h"
#include "link/frame_codec.h"
#include "platform/text.h"

namespace vesk::sim::test {

std::string TreePath() {
  const char* env = std::getenv("VESK_TREE_DAT");
  if (env && *env) return env;
  return std::string(VESK_BIN_DIR) + "/vesk.tree.dat";
}

const std::vector<ParameterSpec>& DescriptionSpecs() {
  static const std::vector<ParameterSpec> specs = [] {
    std::vector<ParameterSpec> s;
    std::string error;
    if (!LoadSpecs(TreePath(), s, error)) throw std::runtime_error(error);
    return s;
  }();
  return specs;
}

std::unique_ptr<Device> MakeDevice(const SimOptions& options) {
  std::vector<std::string> warnings;
  DeviceStore store = DeviceStore::Build(DescriptionSpecs(), warnings);
  // The clock starts once the slow part is done, so that the live values' timing tests
  // hold on a loaded machine.
  auto start = std::chrono::steady_clock::now();
  auto device = std::make_unique<Device>(std::move(store), options, start);
  device->PowerOn(options, start);
  return device;
}

int Exchange::Error() const {
  return answered && hash == link::kErrorReplyHash && !data.empty() ? data[0] : -1;
}

Exchange Ask(Device& device, bool read, uint16_t hash, std::vector<uint8_t> data, int offset,
             std::chrono::steady_clock::time_point now) {
  const NetSettings& net = device.network();
  std::string frame = LornFrame(net.address + offset, net.address_bits, read, hash, data.data(),
                                static_cast<int>(data.size()));
  Exchange e;
  auto request = ParseLornRequest(frame, net.address_bits);
  if (!request) throw std::logic_error("the test built a frame the device cannot parse");
  e.outcome = RespondLorn(device, *request, now);
  link::ReplyFrame reply;
  if (!e.outcome.reply.empty() && link::ParseReply(e.outcome.reply, reply)) {
    e.answered = true;
    e.hash = reply.hash;
    e.data.assign(reply.data, reply.data + reply.count);
  }
  return e;
}

Exchange Ask(Device& device, bool read, const char* name, std::vector<uint8_t> data, int offset) {
  return Ask(device, read, link::NameHash(name), std::move(data), offset);
}

RunningSim::RunningSim(SimOptions options) : options_(std::move(options)) {
  device_ = MakeDevice(options_);
  std::string error;
  line_ = Line::OpenPty(LineParamsOf(device_->network()), error);
  if (!line_) throw std::runtime_error(error);
  if (!options_.trace_path.empty() && !trace_.Open(options_.trace_path, error))
    throw std::runtime_error(error);
  simulator_ = std::make_unique<Simulator>(*device_, *line_, options_, trace_,
                                           std::chrono::steady_clock::now());
  thread_ = std::thread([this] {
    std::string error;
    simulator_->Run(stop_.fd(), error);
  });
}

RunningSim::~RunningSim() {
  stop();
}

void RunningSim::stop() {
  stop_.Set();
  if (thread_.joinable()) thread_.join();
}

Client::Client(const std::string& path, int32_t baud, int32_t stop_bits, int32_t address,
               int32_t address_bits)
    : path_(path) {
  link_.set_command_line_run(true);
  link_.port().set_converter_mode(link::kConverterAuto);
  Reopen(baud, stop_bits, address, address_bits);
}

void Client::Reopen(int32_t baud, int32_t stop_bits, int32_t address, int32_t address_bits) {
  link::PortSettings& s = link_.port().settings();
  s.port_name = path_;
  s.baud_rate = baud;
  s.stop_bits = stop_bits;
  s.device_address = address;
  s.address_length = address_bits;
  if (link_.OpenPort(false) != link::kOpenOk)
    throw std::runtime_error("the client cannot open " + path_);
}

std::unique_ptr<link::Parameter> Client::Parameter(const std::string& name, int index,
                                                   int poll_index) {
  auto p = std::make_unique<link::Parameter>(name);
  for (const ParameterSpec& s : DescriptionSpecs()) {
    if (!platform::Iequals(s.name, name)) continue;
    p->type_text = s.type_text;
    p->minimum = s.minimum;
    p->maximum = s.maximum;
    p->has_attributes = s.has_attributes ? 1 : 0;
    p->writable = s.writable;
    break;
  }
  // The network name travels as four codes, each an "int" of its own.
  if (name == "CHAr") p->type_text = "int";
  if (index >= 0) {
    p->indexed = true;
    p->linear_index = index;
  }
  if (poll_index >= 0) p->poll_index = poll_index;
  return p;
}

std::string Client::ReadValue(const std::string& name, int index, int poll_index) {
  auto p = Parameter(name, index, poll_index);
  return Read(*p) == link::kExchangeOk ? p->value : "error: " + p->note;
}

}  // namespace vesk::sim::test
