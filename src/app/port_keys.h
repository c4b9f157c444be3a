#pragma once
// The command line's port keys as values of a node that holds network settings: the
// program's own port settings, or the device's network branch (with `aply`).

#include "app/command_line.h"
#include "model/parameter_node.h"

namespace vesk::exchange {
class ExchangeEngine;
}

namespace vesk::app {

// Writes the given network values as texts into `node`, in the order and under the keys
// the start-up uses: address "Addr", address length "A.Len", baud rate "bPS", data bits
// "LEn", stop bits "Sbit", parity "PrtY" ("Четность", "Нечетность", "Отсутствует"). Values
// not given (0 or empty) are skipped. Returns the number of values the node took.
int WriteNetworkKeys(model::ParameterNode& node, const CommandLineSettings& settings);

// The same, then the port under "Port": the path of --port=PATH, else "COM%i" for a port
// number above 0. Only the program's own node has a port. Returns the number written.
int WriteProgramPortKeys(model::ParameterNode& node, const CommandLineSettings& settings);

// Takes the converter's echo from --echo, when given, into the program's port settings
// (saved with them) and the port.
void ApplyEchoKey(exchange::ExchangeEngine& engine, const CommandLineSettings& settings);

// Puts the port keys into the engine's own port settings (with the converter the keys
// chose) and opens the port, as the actions run without the document do. Returns true;
// false when the port could not be opened (the exit status records it).
bool OpenPortWithKeys(exchange::ExchangeEngine& engine, const CommandLineSettings& settings);

}  // namespace vesk::app
