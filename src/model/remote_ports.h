#pragma once
// Port names of lines reached over the network ("tcp://HOST:PORT" raw, "rfc2217://HOST:PORT"
// with the Telnet COM-port control), as the set-up dialog and the settings take them, and
// the short list of those used before, most recent first, kept in the settings store.

#include <string>
#include <string_view>
#include <vector>

namespace vesk::platform {
class SettingsStore;
}

namespace vesk::model {

inline constexpr size_t kRecentRemotePorts = 5;
// Value names under the settings key: remote_port_1 (the most recent) ... remote_port_5.
inline constexpr const char* kRemotePortValuePrefix = "remote_port_";

// True for a name that names a network line by its scheme (tcp:// or rfc2217://).
bool IsRemotePortName(std::string_view name);
// True for a remote name whose host and port are well formed.
bool ValidRemotePortName(std::string_view name);

// The remote ports used before, most recent first; malformed entries are left out.
std::vector<std::string> RecentRemotePorts(platform::SettingsStore& store);
// Puts a well-formed remote name first in the list (once), dropping the oldest beyond
// kRecentRemotePorts. Anything else is ignored. Returns the store's failure count.
int RememberRemotePort(platform::SettingsStore& store, std::string_view name);

}  // namespace vesk::model
