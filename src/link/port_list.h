#pragma once
// The serial ports the system knows, as names the port opens: "COMn" for the UART
// /dev/ttyS(n-1), "ttyUSBn" and "ttyACMn" for adapters, and the stable paths under
// /dev/serial/by-id/ where udev makes them.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::link {

// The ports in order: COM ports by number, then ttyACM, then ttyUSB by number, then the
// by-id paths sorted. Only devices that have a driver count, and a ttyS only when a real
// UART is behind it. A folder that cannot be read adds nothing. The folders can be
// replaced for tests.
std::vector<std::string> SerialPortNames(
    const std::filesystem::path& sys_class_tty = "/sys/class/tty",
    const std::filesystem::path& by_id = "/dev/serial/by-id");

// The same names joined by ':' ("COM1:COM3"); empty when there are none. A name that holds
// a ':' itself cannot be told apart in this text and is left out.
std::string SerialPortList(const std::filesystem::path& sys_class_tty = "/sys/class/tty",
                           const std::filesystem::path& by_id = "/dev/serial/by-id");

// Where udev keeps the names that stay with an adapter whichever socket it is put in.
inline constexpr std::string_view kSerialByIdFolder = "/dev/serial/by-id/";

// The port a fresh installation starts with, from a list as SerialPortList gives it: the
// first by-id path (a USB adapter), else the first port listed; empty when it lists none.
std::string DefaultPortName(std::string_view port_list);

}  // namespace vesk::link
