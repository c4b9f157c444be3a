#pragma once
// Configuration files ".vesk": the values of every parameter of the tree, stored in the
// framework's versioned object archive. A file holds values, not structure: opening one
// rebuilds the tree from the description and reads the stored values into it, matching
// the parameters of a branch by key, so branches may gain or reorder parameters.

#include <cstdint>
#include <string>
#include <vector>

#include "link/parameter.h"
#include "model/archive.h"
#include "model/description_branch.h"
#include "model/named_node.h"

namespace vesk::model {

// Schema numbers as they stand in the files (the class names are in archive.h).
inline constexpr uint16_t kDocumentSchema = 4;
inline constexpr uint16_t kDocumentSchemaNoKind = 3;  // files without a device-kind code
inline constexpr uint16_t kDocumentSchemaOutdated = 1;
inline constexpr uint16_t kNodeSchema = 3;
inline constexpr uint16_t kConverterSchema = 3;
inline constexpr uint16_t kParameterSchema = 1;

// The device-kind code given to a file of the older layout (no code stored); it selects
// no description, so such a file builds no tree.
inline constexpr int32_t kOldLayoutDeviceKind = 19;

// Messages of opening and saving.
inline constexpr const char* kOpenErrorCaption = "Ошибка открытия файла!";
inline constexpr const char* kOutdatedFileText =
    "Невозможно открыть по причине устаревшей версии файла!";
inline constexpr const char* kCorruptFileText = "Данные в файле испорчены!";
inline constexpr const char* kBadFormatText =
    "Неверный формат данных! Возможно это устаревшая версия файла.";
inline constexpr const char* kBadFormatCaption = "Предупреждение";
inline constexpr const char* kReadFailedText =
    "Произошла ошибка при чтении файла!\nУдостоверьтесь, что этот файл относится к этому "
    "конфигуратору!";
inline constexpr const char* kAppTitle = "ВЕСК";
inline constexpr const char* kNoTreeText = "Дерево не определено";
inline constexpr const char* kNoTreeCaption = "Операция невозможна";
// The framework's own texts for a file that cannot be opened or saved at all.
inline constexpr const char* kOpenDocumentFailedText = "Не удалось открыть документ.";
inline constexpr const char* kSaveDocumentFailedText = "Не удалось сохранить документ.";
inline constexpr const char* kErrorCaption = "Ошибка";

// A ".vesk" file larger than this is no configuration (a full one is tens of kilobytes);
// it is refused before it is read into memory.
inline constexpr size_t kMaxConfigurationBytes = 64u << 20;

// The key of a parameter within its branch: (linear index << 16) | name hash for an
// indexed parameter, (0xFFFF << 16) | name hash otherwise.
uint32_t ParameterKey(const link::Parameter& parameter);

// --- Node and record layouts (the Serialize operations) --------------------------------
// The Load* functions throw ArchiveError where the data ends or is malformed; whatever
// was read before stays in the nodes.

// Writes the record whole: ValueCodec part (schema 3), then Parameter part (schema 1).
void StoreParameter(ArchiveWriter& archive, const link::Parameter& parameter);
// Reads a record into `parameter`. With `keep_value` the stored value is read and
// dropped. A part whose schema is not the known one is not read any further.
void LoadParameter(ArchiveReader& archive, link::Parameter& parameter, bool keep_value);

// Writes a branch: name, count, key and record of each parameter, copy count and number,
// then every child branch.
void StoreBranch(ArchiveWriter& archive, const DescriptionBranch& branch);
// Reads a branch into the current one: each stored record goes to the current parameter
// with its key (the n-th record of a key to the n-th parameter of that key); records
// whose key the branch no longer has are read and dropped. Then one stored branch is
// read for each current child, in the current order.
void LoadBranch(ArchiveReader& archive, DescriptionBranch& branch);

// Writes an element (class reference always NamedNode): name, count, records.
void StoreElement(ArchiveWriter& archive, const NamedNode& element);
// Reads an element: name, then the records in order into the current parameters. Every
// element but a `ProgramLineSettings` is reset first; a `ProgramLineSettings` keeps its own values
// (they come from the settings store and the command line) but takes the other fields.
void LoadElement(ArchiveReader& archive, NamedNode& element);

// --- The document -----------------------------------------------------------------------

// What the document stores.
struct ConfigurationView {
  int32_t device_kind = 0;
  const DescriptionBranch* root = nullptr;
};

// What opening a file needs from the document.
class ConfigurationTarget {
 public:
  virtual ~ConfigurationTarget() = default;
  // Resets the document as for a new configuration and loads the description for the
  // code (the document records the code). Returns the fresh root, or nullptr when no
  // tree was built (any code but 3).
  virtual DescriptionBranch* ReloadDescription(int32_t device_kind) = 0;
};

enum class LoadOutcome {
  Loaded,         // every stored value read
  Outdated,       // document schema 1: refused with kOutdatedFileText, nothing changed
  CorruptSchema,  // an unknown document schema: kCorruptFileText, nothing changed
  FormatError,    // malformed data: kBadFormatText; values read so far stay
  Truncated,      // the data ended early: kBadFormatText; values read so far stay
  Unreadable,     // the file could not be read, or another failure escaped: not opened
};

// True for the outcomes after which the tree holds a partial configuration (the
// document then resets it in a silent automatic run).
inline bool IsArchiveFailure(LoadOutcome outcome) {
  return outcome == LoadOutcome::FormatError || outcome == LoadOutcome::Truncated;
}

// Writes the document: class reference Document (schema 4), device-kind code, root.
// The root must exist.
void StoreConfiguration(ArchiveWriter& archive, const ConfigurationView& view);

// Reads a document from `archive` into `target`, showing every problem through
// link::presenter(): the schema messages (caption "Ошибка открытия файла!"), the format
// message for malformed or truncated data (caption "Предупреждение"), and the read-failure
// message for any other failure that escapes. Returns what happened.
LoadOutcome LoadConfiguration(ArchiveReader& archive, ConfigurationTarget& target);

// The bytes of a whole file for `view`; empty when there is no root.
std::vector<uint8_t> ConfigurationBytes(const ConfigurationView& view);

// Saves `view` at `path`. The new file is written beside the old one, flushed to disk
// and then put in its place, so a failure at any point leaves the old file whole. Returns
// false after a message: "Дерево не определено" when there is no root, or the save
// failure with the system's text.
bool SaveConfiguration(const std::string& path, const ConfigurationView& view);

// Opens the file at `path` and loads it as LoadConfiguration does. A file that cannot be
// read (its system text appended to the message) or is too large to be a configuration
// gives Unreadable and leaves the document untouched.
LoadOutcome LoadConfiguration(const std::string& path, ConfigurationTarget& target);

}  // namespace vesk::model
