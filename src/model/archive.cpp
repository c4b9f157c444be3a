#include "model/archive.h"

#include <array>

#include "platform/text.h"

namespace vesk::model {

namespace {

constexpr uint16_t kNewClassTag = 0xFFFF;
constexpr uint16_t kClassTag = 0x8000;
constexpr uint16_t kBigObjectTag = 0x7FFF;
constexpr uint32_t kBigClassTag = 0x80000000u;
constexpr uint16_t kUnicodeMarker = 0xFFFE;
// The framework keeps class names in a 64-byte buffer with its terminator.
constexpr size_t kMaxClassName = 63;

struct ClassInfo {
  std::string_view name;
  std::string_view base;  // empty for a root of the hierarchy
};

// The serialisable classes of the model, with the class each derives from.
constexpr std::array<ClassInfo, 9> kClasses{{
    {kDocumentClass, ""},
    {kNodeClass, ""},
    {kElementClass, kNodeClass},
    {kBranchClass, kElementClass},
    {kServiceClass, kElementClass},
    {kDeviceLineClass, kElementClass},
    {kProgramLineClass, kDeviceLineClass},
    {kConverterClass, ""},
    {kParameterClass, kConverterClass},
}};

const ClassInfo* FindClass(std::string_view name) {
  for (const ClassInfo& c : kClasses)
    if (c.name == name) return &c;
  return nullptr;
}

// UTF-16 little-endian units -> UTF-8; an unpaired surrogate becomes U+FFFD.
std::string Utf16ToUtf8(std::span<const uint8_t> bytes) {
  std::string out;
  out.reserve(bytes.size());
  const size_t units = bytes.size() / 2;
  auto unit = [&](size_t k) {
    return static_cast<char32_t>(bytes[2 * k] | (bytes[2 * k + 1] << 8));
  };
  for (size_t k = 0; k < units; ++k) {
    char32_t u = unit(k);
    if (u >= 0xD800 && u <= 0xDBFF && k + 1 < units && unit(k + 1) >= 0xDC00 &&
        unit(k + 1) <= 0xDFFF) {
      u = 0x10000 + ((u - 0xD800) << 10) + (unit(k + 1) - 0xDC00);
      ++k;
    } else if (u >= 0xD800 && u <= 0xDFFF) {
      u = 0xFFFD;
    }
    platform::AppendUtf8(out, u);
  }
  return out;
}

}  // namespace

bool IsClassDerivedFrom(std::string_view name, std::string_view base) {
  for (const ClassInfo* c = FindClass(name); c != nullptr; c = FindClass(c->base))
    if (c->name == base) return true;
  return false;
}

// ---------------------------------------------------------------------------------------
// Writer

void ArchiveWriter::WriteByte(uint8_t value) {
  bytes_.push_back(value);
}

void ArchiveWriter::WriteUInt16(uint16_t value) {
  bytes_.push_back(static_cast<uint8_t>(value));
  bytes_.push_back(static_cast<uint8_t>(value >> 8));
}

void ArchiveWriter::WriteInt32(int32_t value) {
  WriteUInt32(static_cast<uint32_t>(value));
}

void ArchiveWriter::WriteUInt32(uint32_t value) {
  for (int shift = 0; shift < 32; shift += 8)
    bytes_.push_back(static_cast<uint8_t>(value >> shift));
}

void ArchiveWriter::WriteLength(uint64_t length) {
  if (length < 0xFF) {
    WriteByte(static_cast<uint8_t>(length));
  } else if (length < 0xFFFE) {
    WriteByte(0xFF);
    WriteUInt16(static_cast<uint16_t>(length));
  } else {
    // Texts of 4 GiB and more cannot occur: the program never holds one.
    WriteByte(0xFF);
    WriteUInt16(0xFFFF);
    WriteUInt32(static_cast<uint32_t>(length));
  }
}

void ArchiveWriter::WriteString(std::string_view utf8) {
  std::string& cp1251 = scratch_;
  cp1251.clear();
  if (platform::TryUtf8ToCp1251(utf8, cp1251)) {
    WriteLength(cp1251.size());
    bytes_.insert(bytes_.end(), cp1251.begin(), cp1251.end());
    return;
  }
  std::u16string units;
  for (char32_t cp : platform::Utf8ToCodePoints(utf8)) {
    if (cp >= 0x10000) {
      units += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      units += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      units += static_cast<char16_t>(cp);
    }
  }
  WriteByte(0xFF);
  WriteUInt16(kUnicodeMarker);
  WriteLength(units.size());
  for (char16_t u : units) WriteUInt16(u);
}

void ArchiveWriter::WriteClass(std::string_view class_name, uint16_t schema) {
  if (auto it = classes_.find(class_name); it != classes_.end()) {
    // A model has a handful of classes; the big-tag form is never needed.
    WriteUInt16(static_cast<uint16_t>(kClassTag | it->second));
    return;
  }
  const auto number = static_cast<uint32_t>(classes_.size() + 1);
  classes_.emplace(std::string(class_name), number);
  WriteUInt16(kNewClassTag);
  WriteUInt16(schema);
  WriteUInt16(static_cast<uint16_t>(class_name.size()));
  bytes_.insert(bytes_.end(), class_name.begin(), class_name.end());
}

// ---------------------------------------------------------------------------------------
// Reader

std::span<const uint8_t> ArchiveReader::Take(size_t count) {
  if (count > Remaining())
    throw ArchiveError(ArchiveFault::EndOfData, "unexpected end of archive data");
  auto part = bytes_.subspan(pos_, count);
  pos_ += count;
  return part;
}

uint8_t ArchiveReader::ReadByte() {
  return Take(1)[0];
}

uint16_t ArchiveReader::ReadUInt16() {
  auto b = Take(2);
  return static_cast<uint16_t>(b[0] | (b[1] << 8));
}

int32_t ArchiveReader::ReadInt32() {
  return static_cast<int32_t>(ReadUInt32());
}

uint32_t ArchiveReader::ReadUInt32() {
  auto b = Take(4);
  return static_cast<uint32_t>(b[0]) | (static_cast<uint32_t>(b[1]) << 8) |
         (static_cast<uint32_t>(b[2]) << 16) | (static_cast<uint32_t>(b[3]) << 24);
}

std::string ArchiveReader::ReadString() {
  bool unicode = false;
  uint64_t length = ReadByte();
  if (length == 0xFF) {
    uint16_t word = ReadUInt16();
    if (word == kUnicodeMarker) {
      unicode = true;
      length = ReadByte();
      if (length == 0xFF) word = ReadUInt16();
    }
    if (length == 0xFF) {
      if (word < 0xFFFF) {
        length = word;
      } else {
        length = ReadUInt32();
        if (length == 0xFFFFFFFFu)
          throw ArchiveError(ArchiveFault::BadFormat, "text length beyond 32 bits");
      }
    }
  }
  const uint64_t size = unicode ? 2 * length : length;
  if (size > Remaining())
    throw ArchiveError(ArchiveFault::EndOfData, "text runs past the end of archive data");
  auto bytes = Take(static_cast<size_t>(size));
  if (unicode) return Utf16ToUtf8(bytes);
  return platform::Cp1251ToUtf8(
      std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size()));
}

uint16_t ArchiveReader::ReadClass(std::string_view expected) {
  const uint16_t tag = ReadUInt16();
  const LoadedClass* loaded = nullptr;
  if (tag == kNewClassTag) {
    const uint16_t schema = ReadUInt16();
    const uint16_t length = ReadUInt16();
    if (length > kMaxClassName) throw ArchiveError(ArchiveFault::BadClass, "class name too long");
    auto name = Take(length);
    LoadedClass c{std::string(name.begin(), name.end()), schema};
    if (FindClass(c.name) == nullptr)
      throw ArchiveError(ArchiveFault::BadClass, "unknown class '" + c.name + "'");
    classes_.push_back(std::move(c));
    loaded = &classes_.back();
  } else {
    uint32_t reference;
    if (tag == kBigObjectTag) {
      reference = ReadUInt32();
      if ((reference & kBigClassTag) == 0)
        throw ArchiveError(ArchiveFault::BadClass, "object tag where a class was expected");
      reference &= ~kBigClassTag;
    } else {
      if ((tag & kClassTag) == 0)
        throw ArchiveError(ArchiveFault::BadClass, "object tag where a class was expected");
      reference = tag & ~kClassTag;
    }
    if (reference == 0 || reference > classes_.size())
      throw ArchiveError(ArchiveFault::BadIndex, "class tag names no class read so far");
    loaded = &classes_[reference - 1];
  }
  if (!IsClassDerivedFrom(loaded->name, expected))
    throw ArchiveError(ArchiveFault::BadClass, "class '" + loaded->name + "' where '" +
                                                   std::string(expected) + "' was expected");
  return loaded->schema;
}

}  // namespace vesk::model
