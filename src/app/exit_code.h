#pragma once
// The process exit code of a run, chosen from the condition bits that the link, the
// engine and the application record in link::exit_status.

#include <cstdint>

namespace vesk::app {

// The condition bits of link::exit_status and the exit code each one selects.
namespace exitbit {
constexpr uint32_t kWriteFileMissing = 0x01;  // 200: /write named a missing or empty file
constexpr uint32_t kPortOpen = 0x02;          // 201: the serial port could not be opened
constexpr uint32_t kNoAnswer = 0x04;          // 202: no answer in time, or five failed writes
constexpr uint32_t kWrongSettings = 0x08;     // 203: wrong port settings, lost reply start
constexpr uint32_t kDeviceError = 0x10;       // 204: the device answered with an error code
constexpr uint32_t kCancelled = 0x20;         // 205: cancelled by the user or the exit event
constexpr uint32_t kLinkCheck = 0x40;         // 206: the start-up link check failed
constexpr uint32_t kUnwrittenValues = 0x80;   // 207: /write left out values the file lacks
}  // namespace exitbit

constexpr int kFirstFailureExitCode = 200;

// Returns `ordinary` when no bit is set, otherwise 200 + the number of the lowest set
// bit (0x01 -> 200 ... 0x80 -> 207). Bits above 0x80 are not recorded by anyone; should
// one be set it still gives a failure code (0x100 -> 208 ... 0x80000000 -> 231) rather
// than letting a failure pass as success.
int ChooseExitCode(uint32_t status, int ordinary = 0);

// The exit code for link::exit_status as it stands now.
int ProcessExitCode(int ordinary = 0);

}  // namespace vesk::app
