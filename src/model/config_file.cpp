#include "model/config_file.h"

#include <cerrno>
#include <cstring>
#include <exception>
#include <new>
#include <unordered_map>

#include "link/frame_codec.h"
#include "link/presenter.h"
#include "model/config_file_io.h"
#include "platform/language.h"

namespace vesk::model {

namespace {

constexpr uint32_t kNotIndexedKey = 0xFFFFu << 16;

void Show(std::string_view text, std::string_view caption, link::MsgIcon icon) {
  link::presenter().ShowMessage(text, caption, icon, link::MsgButtons::Ok);
}

std::string WithSystemText(std::string_view text, const std::string& path,
                           const std::string& system_text) {
  std::string message(text);
  message += "\n";
  message += path;
  if (!system_text.empty()) {
    message += "\n";
    message += system_text;
  }
  return message;
}

}  // namespace

uint32_t ParameterKey(const link::Parameter& parameter) {
  const uint32_t hash = link::NameHash(parameter.short_name);
  if (!parameter.indexed) return kNotIndexedKey | hash;
  return (static_cast<uint32_t>(parameter.linear_index) << 16) | hash;
}

// --- Records and nodes -------------------------------------------------------------------

void StoreParameter(ArchiveWriter& archive, const link::Parameter& p) {
  archive.WriteClass(kConverterClass, kConverterSchema);
  archive.WriteString(p.short_name);
  archive.WriteString(p.value);
  archive.WriteClass(kParameterClass, kParameterSchema);
  archive.WriteString(p.caption);
  archive.WriteBool(p.indexed);
  archive.WriteInt32(p.linear_index);
  archive.WriteInt32(p.poll_index);
  archive.WriteBool(p.writable);
  archive.WriteString(p.note);
  archive.WriteBool(p.value_changed);
  archive.WriteBool(p.edit_changed);
  archive.WriteBool(p.owner_changed);
  archive.WriteBool(p.editable);
  archive.WriteBool(p.owned_by_firm);
  archive.WriteInt32(p.mark);
}

void LoadParameter(ArchiveReader& archive, link::Parameter& p, bool keep_value) {
  // What addresses the parameter on the wire (its name, index, address offset) and
  // whether it may be written belong to the description, not to the file: a damaged or
  // edited file must not turn a record into another device parameter.
  if (archive.ReadClass(kConverterClass) != kConverterSchema) return;
  std::string name = archive.ReadString();
  std::string value = archive.ReadString();
  if (p.short_name.empty()) p.short_name = std::move(name);
  if (!keep_value) p.value = std::move(value);
  if (archive.ReadClass(kParameterClass) != kParameterSchema) return;
  p.caption = archive.ReadString();
  archive.ReadBool();   // indexed
  archive.ReadInt32();  // linear index
  archive.ReadInt32();  // polling index
  archive.ReadBool();   // writable
  p.note = archive.ReadString();
  p.value_changed = archive.ReadBool();
  p.edit_changed = archive.ReadBool();
  p.owner_changed = archive.ReadBool();
  p.editable = archive.ReadBool();
  p.owned_by_firm = archive.ReadBool();
  p.mark = archive.ReadInt32();
}

void StoreBranch(ArchiveWriter& archive, const DescriptionBranch& branch) {
  archive.WriteClass(kBranchClass, kNodeSchema);
  archive.WriteString(branch.name);
  archive.WriteInt32(static_cast<int32_t>(branch.parameters.size()));
  for (const auto& p : branch.parameters) {
    archive.WriteUInt32(ParameterKey(*p));
    StoreParameter(archive, *p);
  }
  archive.WriteInt32(branch.copy_count);
  archive.WriteInt32(branch.copy_number);
  for (const auto& child : branch.children) StoreBranch(archive, *child);
}

void LoadBranch(ArchiveReader& archive, DescriptionBranch& branch) {
  if (archive.ReadClass(kBranchClass) == kNodeSchema) {
    // Keys are formed from the parameters as the fresh tree has them, before any record
    // is read. A key that several parameters share (the same definition named twice)
    // hands its records to them in order, so none of them is lost.
    struct Slot {
      std::vector<link::Parameter*> parameters;
      size_t next = 0;
    };
    std::unordered_map<uint32_t, Slot> by_key;
    for (const auto& p : branch.parameters) by_key[ParameterKey(*p)].parameters.push_back(p.get());

    branch.name = archive.ReadString();
    const int32_t count = archive.ReadInt32();
    for (int32_t i = 0; i < count; ++i) {
      const uint32_t key = archive.ReadUInt32();
      auto it = by_key.find(key);
      if (it != by_key.end() && it->second.next < it->second.parameters.size()) {
        LoadParameter(archive, *it->second.parameters[it->second.next++], false);
      } else {
        link::Parameter scratch("");
        LoadParameter(archive, scratch, false);
      }
    }
    branch.copy_count = archive.ReadInt32();
    branch.copy_number = archive.ReadInt32();
  }
  for (const auto& child : branch.children) LoadBranch(archive, *child);
}

void StoreElement(ArchiveWriter& archive, const NamedNode& element) {
  archive.WriteClass(kElementClass, kNodeSchema);
  archive.WriteString(element.name);
  archive.WriteInt32(static_cast<int32_t>(element.parameters.size()));
  for (const auto& p : element.parameters) StoreParameter(archive, *p);
}

void LoadElement(ArchiveReader& archive, NamedNode& element) {
  const bool program_settings = element.Kind() == NodeKind::ProgramLine;
  const size_t current = element.parameters.size();
  // Without a stored count the records are taken to match the current parameters.
  int64_t stored = static_cast<int64_t>(current);
  if (archive.ReadClass(kElementClass) == kNodeSchema) {
    element.name = archive.ReadString();
    stored = archive.ReadInt32();
  }
  if (!program_settings) element.ResetValues();
  // The stored count says where the element ends: records beyond the current parameters
  // are read and dropped, and a shorter element leaves the rest as they are, instead of
  // reading the next node's bytes as records.
  for (int64_t i = 0; i < stored; ++i) {
    if (static_cast<size_t>(i) < current) {
      LoadParameter(archive, *element.parameters[static_cast<size_t>(i)], program_settings);
    } else {
      link::Parameter scratch("");
      LoadParameter(archive, scratch, program_settings);
    }
  }
}

// --- The document ------------------------------------------------------------------------

void StoreConfiguration(ArchiveWriter& archive, const ConfigurationView& view) {
  archive.WriteClass(kDocumentClass, kDocumentSchema);
  archive.WriteInt32(view.device_kind);
  if (view.root != nullptr) StoreBranch(archive, *view.root);
}

LoadOutcome LoadConfiguration(ArchiveReader& archive, ConfigurationTarget& target) {
  try {
    const uint16_t schema = archive.ReadClass(kDocumentClass);
    int32_t device_kind = kOldLayoutDeviceKind;
    if (schema == kDocumentSchema) {
      device_kind = archive.ReadInt32();
    } else if (schema == kDocumentSchemaOutdated) {
      Show(platform::Tr(kOutdatedFileText), platform::Tr(kOpenErrorCaption),
           link::MsgIcon::Warning);
      return LoadOutcome::Outdated;
    } else if (schema != kDocumentSchemaNoKind) {
      Show(platform::Tr(kCorruptFileText), platform::Tr(kOpenErrorCaption), link::MsgIcon::Warning);
      return LoadOutcome::CorruptSchema;
    }
    if (DescriptionBranch* root = target.ReloadDescription(device_kind)) LoadBranch(archive, *root);
    return LoadOutcome::Loaded;
  } catch (const ArchiveError& e) {
    // Data that ends early is as much a broken file as malformed data: the user must not
    // take a partly read configuration for a whole one.
    Show(platform::Tr(kBadFormatText), platform::Tr(kBadFormatCaption), link::MsgIcon::Warning);
    return e.fault() == ArchiveFault::EndOfData ? LoadOutcome::Truncated : LoadOutcome::FormatError;
  } catch (const std::exception&) {
    Show(platform::Tr(kReadFailedText), platform::Tr(kAppTitle), link::MsgIcon::Error);
    return LoadOutcome::Unreadable;
  }
}

std::vector<uint8_t> ConfigurationBytes(const ConfigurationView& view) {
  if (view.root == nullptr) return {};
  ArchiveWriter archive;
  StoreConfiguration(archive, view);
  return archive.bytes();
}

bool SaveConfiguration(const std::string& path, const ConfigurationView& view) {
  if (view.root == nullptr) {
    Show(platform::Tr(kNoTreeText), platform::Tr(kNoTreeCaption), link::MsgIcon::Error);
    return false;
  }
  std::string error;
  try {
    if (ReplaceFileContents(path, ConfigurationBytes(view), error)) return true;
  } catch (const std::bad_alloc&) {
    error = std::strerror(ENOMEM);
  }
  Show(WithSystemText(platform::Tr(kSaveDocumentFailedText), path, error),
       platform::Tr(kErrorCaption), link::MsgIcon::Error);
  return false;
}

LoadOutcome LoadConfiguration(const std::string& path, ConfigurationTarget& target) {
  std::vector<uint8_t> bytes;
  std::string error;
  try {
    if (!ReadFileBytes(path, kMaxConfigurationBytes, bytes, error)) {
      if (error.empty())
        Show(platform::Tr(kReadFailedText), platform::Tr(kAppTitle),
             link::MsgIcon::Error);  // far too large
      else
        Show(WithSystemText(platform::Tr(kOpenDocumentFailedText), path, error),
             platform::Tr(kErrorCaption), link::MsgIcon::Error);
      return LoadOutcome::Unreadable;
    }
  } catch (const std::bad_alloc&) {
    Show(WithSystemText(platform::Tr(kOpenDocumentFailedText), path, std::strerror(ENOMEM)),
         platform::Tr(kErrorCaption), link::MsgIcon::Error);
    return LoadOutcome::Unreadable;
  }
  ArchiveReader archive(bytes);
  return LoadConfiguration(archive, target);
}

}  // namespace vesk::model
