#pragma once
// The framework's versioned object archive, byte for byte, so that ".vesk" files move
// between this program and others that use the format. Integers are little-endian;
// texts are UTF-8 in the program and cp1251 (or the UTF-16 form) in the archive.

#include <cstddef>
#include <cstdint>
#include <map>
#include <span>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace vesk::model {

// Class names as they stand in ".vesk" files, byte for byte: data of the format, kept
// whatever the classes that read and write them are called here.
inline constexpr const char* kDocumentClass = "CTRB6Doc";
inline constexpr const char* kNodeClass = "ObjectWithParameters";
inline constexpr const char* kElementClass = "InvisibleElement";
inline constexpr const char* kBranchClass = "DescBranch";
inline constexpr const char* kServiceClass = "CommonParams";
inline constexpr const char* kDeviceLineClass = "NetRS485";
inline constexpr const char* kProgramLineClass = "NetRS485prg";
inline constexpr const char* kConverterClass = "MyConverter";
inline constexpr const char* kParameterClass = "Parameter";

// Why reading stopped. EndOfData: the stream ended inside a value. BadClass: a class
// reference names no known class or one that is not the expected class (nor derived
// from it). BadIndex: a tag refers to no class read so far. BadFormat: any other
// malformed value (a class name too long, a length that cannot be).
enum class ArchiveFault { EndOfData, BadClass, BadIndex, BadFormat };

class ArchiveError : public std::runtime_error {
 public:
  ArchiveError(ArchiveFault fault, const std::string& what)
      : std::runtime_error(what), fault_(fault) {}
  ArchiveFault fault() const { return fault_; }

 private:
  ArchiveFault fault_;
};

// True when `name` is `base` or a serialisable class of the model derived from it.
bool IsClassDerivedFrom(std::string_view name, std::string_view base);

// Builds an archive in memory; writing cannot fail (short of memory).
class ArchiveWriter {
 public:
  void WriteByte(uint8_t value);
  void WriteBool(bool value) { WriteByte(value ? 1 : 0); }
  void WriteUInt16(uint16_t value);
  void WriteInt32(int32_t value);
  void WriteUInt32(uint32_t value);
  // A text: cp1251 with the short, 16-bit or 32-bit length form; a text with characters
  // that cp1251 cannot hold is written in the UTF-16 form instead, so nothing is lost.
  void WriteString(std::string_view utf8);
  // A class reference: in full (0xFFFF, schema, name length, name) the first time the
  // class occurs, 0x8000 + its number afterwards.
  void WriteClass(std::string_view class_name, uint16_t schema);

  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  void WriteLength(uint64_t length);

  std::vector<uint8_t> bytes_;
  std::string scratch_;  // one text's cp1251 form, kept to spare allocations
  std::map<std::string, uint32_t, std::less<>> classes_;  // name -> number (1, 2, ...)
};

// Reads an archive held in memory. Every Read* throws ArchiveError when the value is not
// there or not valid; nothing read is ever sized beyond the bytes that remain.
class ArchiveReader {
 public:
  explicit ArchiveReader(std::span<const uint8_t> bytes) : bytes_(bytes) {}

  uint8_t ReadByte();
  bool ReadBool() { return ReadByte() != 0; }
  uint16_t ReadUInt16();
  int32_t ReadInt32();
  uint32_t ReadUInt32();
  // A text in any of the length forms, cp1251 or UTF-16; returned as UTF-8.
  std::string ReadString();
  // A class reference that must name `expected` or a class derived from it. Returns the
  // schema stored with the class where it was first written.
  uint16_t ReadClass(std::string_view expected);

  size_t Position() const { return pos_; }
  size_t Remaining() const { return bytes_.size() - pos_; }

 private:
  std::span<const uint8_t> Take(size_t count);

  struct LoadedClass {
    std::string name;
    uint16_t schema;
  };
  std::span<const uint8_t> bytes_;
  size_t pos_ = 0;
  std::vector<LoadedClass> classes_;  // number n is classes_[n - 1]
};

}  // namespace vesk::model
