#pragma once
// The fault triggers of the simulator, named once for the simulator and for the tests
// that provoke them, so that neither side spells an option or a counter differently.

#include <string_view>

namespace vesk::sim {

// Command-line options that switch a fault on. The probability options take a number
// 0 ... 1; the others a whole number.
inline constexpr std::string_view kFaultDrop = "--drop";             // no answer at all
inline constexpr std::string_view kFaultCorrupt = "--corrupt";       // one letter changed
inline constexpr std::string_view kFaultGarbage = "--garbage";       // answer without "#"
inline constexpr std::string_view kFaultWrongHash = "--wrong-hash";  // another hash
inline constexpr std::string_view kFaultBadData = "--bad-data";      // undecodable value
inline constexpr std::string_view kFaultBareError = "--bare-error";  // n.Err without code
inline constexpr std::string_view kFaultLateMs = "--late-ms";        // answer N ms late
inline constexpr std::string_view kFaultMuteAfter = "--mute-after";  // silent after N frames
inline constexpr std::string_view kFaultSeed = "--seed";             // makes them repeatable
// Faults of the line rather than the device.
inline constexpr std::string_view kFaultEcho = "--echo";    // every request comes back
inline constexpr std::string_view kFaultNoise = "--noise";  // bytes before the "#"
inline constexpr std::string_view kFaultStray = "--stray";  // another address answers first

// The hash a reply carries under --wrong-hash: neither a parameter of the device nor the
// error reply, so the configurator can only report an unexpected command.
inline constexpr unsigned kWrongReplyHash = 0x7FFF;

// The bytes put before the data of an answer under --bad-data: too many for any number,
// and beyond every list of named values.
inline constexpr unsigned char kBadDataByte = 0xFF;
inline constexpr size_t kBadDataBytes = 4;

// What --noise puts before a reply: 1 ... kMaxNoiseBytes of these (a floating line gives
// 0x00 or 0xFF, a ringing one letters of the frame's alphabet).
inline constexpr char kNoiseBytes[] = {'\x00', '\xFF', 'G', 'V', 'K'};
inline constexpr size_t kMaxNoiseBytes = 3;

// The character that replaces the start character of a reply under --garbage.
inline constexpr char kGarbageStart = '?';

}  // namespace vesk::sim
