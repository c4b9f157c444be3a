#pragma once
// Telling a port that is gone from trouble on the line, and saying so: shared by every
// exchange of the link (the transaction, the bus scan's question).

#include <string>

#include "link/port_kind.h"

namespace vesk::link {

// True for a system error that means the port itself is gone (an adapter unplugged, the
// far end of a terminal closed, a network line's server gone or unreachable), not trouble
// on the line.
bool PortGone(const PortResult& result);

// "Порт <port> потерян: <the system's reason>".
std::string LostPortText(const std::string& port, const PortResult& result);

}  // namespace vesk::link
