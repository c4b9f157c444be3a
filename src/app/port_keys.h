#pragma once
// The command line's port keys as values of a node that holds network settings: the
// program's own port settings, or the device's network branch (with `aply`).

#include "app/command_line.h"
#include "model/parameter_node.h"

namespace vesk::app {

// Writes the given network values as texts into `node`, in the order and under the keys
// the start-up uses: address "Addr", address length "A.Len", baud rate "bPS", data bits
// "LEn", stop bits "Sbit", parity "PrtY" ("Четность", "Нечетность", "Отсутствует"). Values
// not given (0 or empty) are skipped. Returns the number of values the node took.
int WriteNetworkKeys(model::ParameterNode& node, const CommandLineSettings& settings);

// The same, then the port under "Port": the path of --port=PATH, else "COM%i" for a port
// number above 0. Only the program's own node has a port. Returns the number written.
int WriteProgramPortKeys(model::ParameterNode& node, const CommandLineSettings& settings);

}  // namespace vesk::app
