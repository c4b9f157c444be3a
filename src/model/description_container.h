#pragma once
// The description container: a compound (structured-storage) file that holds the device
// description as a zlib stream of cp1251 text. The configurator only reads it; the
// build tool vesk-pack writes it through the same code, so both agree on the format.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace vesk::model {

inline constexpr const char* kContainerFileName = "vesk.tree.dat";
inline constexpr const char* kVeskStreamName = "vesk.tree";
inline constexpr int32_t kVeskDeviceKind = 3;
// Names another container than the one beside the program (tests, newer descriptions).
inline constexpr const char* kContainerEnvVar = "VESK_TREE_DAT";

// Inflate works in chunks of this size and appends each to the text.
inline constexpr size_t kInflateChunk = 16384;
// A description is a few kilobytes; anything that inflates beyond this is not one, and
// stopping here keeps a hostile container from filling memory.
inline constexpr size_t kMaxDescriptionBytes = 1u << 20;

// Stream name for a device-kind code: "vesk.tree" for 3, empty (no description) otherwise.
std::string_view StreamNameForKind(int32_t device_kind);

// The container to read: $VESK_TREE_DAT when set and not empty, else "vesk.tree.dat"
// beside the program (a build folder) or in PREFIX/share/vesk/ (an installed program).
std::string ContainerPath();

enum class ContainerStatus {
  Ok,
  OpenFailed,   // missing, unreadable, not a compound file, or no such stream
  BadData,      // the stream is not a valid zlib stream, or inflates beyond the bound
  WriteFailed,  // (writing only) the new file could not be made
};

struct ContainerText {
  ContainerStatus status = ContainerStatus::OpenFailed;
  std::string text;    // UTF-8, converted from cp1251; complete only when status is Ok
  std::string detail;  // the system's or the library's text for a failure, else empty
};

// Reads stream `stream` of the compound file at `path`, inflates it and converts it to
// UTF-8. Never writes at `path`: a file that is not a compound file is OpenFailed.
ContainerText ReadDescriptionContainer(const std::string& path, std::string_view stream);

// Writes a new compound file at `path` (replacing any file there) holding one stream
// `stream`: `utf8_text` converted to cp1251 and zlib-compressed. Returns Ok, or
// WriteFailed with the reason in `detail`.
ContainerStatus WriteDescriptionContainer(const std::string& path, std::string_view stream,
                                          std::string_view utf8_text, std::string* detail);

// Writes a new compound file at `path` (replacing any file there) holding one stream
// `stream` with `bytes` as they are. Returns Ok, or WriteFailed with the reason in `detail`.
ContainerStatus WriteCompoundStream(const std::string& path, std::string_view stream,
                                    std::string_view bytes, std::string* detail);

// zlib format (header and trailer) at the best compression.
std::string DeflateBytes(std::string_view raw);

// Inflates a zlib-format stream in kInflateChunk pieces into `out`. Returns Ok, or
// BadData (detail says why) for a corrupt or truncated stream or one whose result would
// exceed `limit` bytes.
ContainerStatus InflateBytes(std::string_view compressed, size_t limit, std::string& out,
                             std::string* detail);

}  // namespace vesk::model
