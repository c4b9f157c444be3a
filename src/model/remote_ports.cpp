#include "model/remote_ports.h"

#include <algorithm>
#include <optional>

#include "link/network_port.h"
#include "platform/settings_store.h"

namespace vesk::model {
namespace {

constexpr std::string_view kTcpScheme = "tcp://";
constexpr std::string_view kRfc2217Scheme = "rfc2217://";

std::string ValueName(size_t i) {
  return kRemotePortValuePrefix + std::to_string(i + 1);
}

}  // namespace

bool IsRemotePortName(std::string_view name) {
  return name.starts_with(kTcpScheme) || name.starts_with(kRfc2217Scheme);
}

bool ValidRemotePortName(std::string_view name) {
  if (name.starts_with(kRfc2217Scheme)) {
    // The same HOST:PORT after another scheme.
    std::string as_tcp(kTcpScheme);
    as_tcp += name.substr(kRfc2217Scheme.size());
    return link::ParseNetworkPortName(as_tcp).has_value();
  }
  return link::ParseNetworkPortName(name).has_value();
}

std::vector<std::string> RecentRemotePorts(platform::SettingsStore& store) {
  std::vector<std::string> names;
  for (size_t i = 0; i < kRecentRemotePorts; ++i) {
    std::optional<std::string> name = store.ReadText(platform::kSettingsKey, ValueName(i));
    if (name && ValidRemotePortName(*name) &&
        std::find(names.begin(), names.end(), *name) == names.end())
      names.push_back(*name);
  }
  return names;
}

int RememberRemotePort(platform::SettingsStore& store, std::string_view name) {
  if (!ValidRemotePortName(name)) return 0;
  std::vector<std::string> names = RecentRemotePorts(store);
  if (!names.empty() && names.front() == name) return 0;
  names.erase(std::remove(names.begin(), names.end(), name), names.end());
  names.insert(names.begin(), std::string(name));
  if (names.size() > kRecentRemotePorts) names.resize(kRecentRemotePorts);
  int failures = 0;
  for (size_t i = 0; i < kRecentRemotePorts; ++i)
    failures += (i < names.size() ? store.WriteText(platform::kSettingsKey, ValueName(i), names[i])
                                  : store.RemoveValue(platform::kSettingsKey, ValueName(i))) != 0;
  return failures;
}

}  // namespace vesk::model
