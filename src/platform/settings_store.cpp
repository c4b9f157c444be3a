#include "platform/settings_store.h"

#include <glib.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <string>

#include "platform/paths.h"

namespace vesk::platform {

namespace {

std::mutex& StoreMutex() {
  static std::mutex m;
  return m;
}

struct KeyFileFree {
  void operator()(GKeyFile* f) const { g_key_file_free(f); }
};
using KeyFilePtr = std::unique_ptr<GKeyFile, KeyFileFree>;

struct ErrorFree {
  void operator()(GError* e) const { g_error_free(e); }
};

std::string TakeError(GError* error) {
  std::unique_ptr<GError, ErrorFree> owned(error);
  return error && error->message ? error->message : "unknown error";
}

// Names that the key file can hold as they are: a group without brackets or control
// characters, a value name without '=', brackets, control characters or outer blanks.
bool ValidGroup(std::string_view group) {
  if (group.empty()) return false;
  for (unsigned char c : group)
    if (c == '[' || c == ']' || c < 0x20 || c == 0x7f) return false;
  return g_utf8_validate(group.data(), static_cast<gssize>(group.size()), nullptr);
}

bool ValidName(std::string_view name) {
  if (name.empty() || name.front() == ' ' || name.back() == ' ') return false;
  for (unsigned char c : name)
    if (c == '=' || c == '[' || c == ']' || c < 0x20 || c == 0x7f) return false;
  return g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr);
}

enum class Load { Ok, Missing, Failed };

// Loads the file into `file`. Missing: no file there (the key file stays empty).
Load LoadFile(const std::string& path, GKeyFile* file, std::string& error) {
  if (path.empty()) {
    error = "no configuration folder (neither XDG_CONFIG_HOME nor HOME is set)";
    return Load::Failed;
  }
  GError* gerror = nullptr;
  if (g_key_file_load_from_file(file, path.c_str(), G_KEY_FILE_KEEP_COMMENTS, &gerror))
    return Load::Ok;
  // A folder on the way that is a file counts as missing too: the write then reports
  // why the folder cannot be made.
  const bool missing = g_error_matches(gerror, G_FILE_ERROR, G_FILE_ERROR_NOENT) ||
                       g_error_matches(gerror, G_FILE_ERROR, G_FILE_ERROR_NOTDIR);
  error = TakeError(gerror);
  return missing ? Load::Missing : Load::Failed;
}

bool SaveFile(const std::string& path, GKeyFile* file, std::string& error) {
  const size_t slash = path.rfind('/');
  if (slash != std::string::npos && slash > 0) {
    const std::string folder = path.substr(0, slash);
    if (!MakeDirectories(folder)) {
      error = "cannot create " + folder + ": " + std::strerror(errno);
      return false;
    }
  }
  GError* gerror = nullptr;
  if (!g_key_file_save_to_file(file, path.c_str(), &gerror)) {
    error = TakeError(gerror);
    return false;
  }
  return true;
}

// A stored number: decimal digits only, within 32 bits.
std::optional<uint32_t> ParseDword(const char* text) {
  if (!text || !*text) return std::nullopt;
  uint64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    value = value * 10 + static_cast<uint64_t>(*p - '0');
    if (value > UINT32_MAX) return std::nullopt;
  }
  return static_cast<uint32_t>(value);
}

std::string DefaultFilePath() {
  const std::string dir = UserConfigDir();
  if (dir.empty()) return {};
  return dir + "/LORN/" + kSettingsFileName;
}

}  // namespace

SettingsStore::SettingsStore() = default;
SettingsStore::SettingsStore(std::string file_path) : path_(std::move(file_path)) {}

SettingsStore& SettingsStore::Default() {
  static SettingsStore store;
  return store;
}

std::string SettingsStore::FilePath() const {
  return path_.empty() ? DefaultFilePath() : path_;
}

std::string SettingsStore::Stamp() const {
  std::string stamp = FilePath();
  struct stat st {};
  if (::stat(stamp.c_str(), &st) == 0)
    stamp += '\n' + std::to_string(st.st_dev) + ':' + std::to_string(st.st_ino) + ':' +
             std::to_string(st.st_size) + ':' + std::to_string(st.st_mtim.tv_sec) + '.' +
             std::to_string(st.st_mtim.tv_nsec);
  return stamp;
}

std::string SettingsStore::LastError() const {
  std::lock_guard lock(StoreMutex());
  return last_error_;
}

uint32_t SettingsStore::ReadDword(std::string_view group, std::string_view name, uint32_t fallback,
                                  int* status) {
  std::lock_guard lock(StoreMutex());
  int result = kSettingsKeyMissing;
  uint32_t value = fallback;
  KeyFilePtr file(g_key_file_new());
  const std::string g(group), n(name);
  if (LoadFile(FilePath(), file.get(), last_error_) == Load::Ok && ValidGroup(g) &&
      g_key_file_has_group(file.get(), g.c_str())) {
    result = kSettingsValueMissing;
    last_error_.clear();
    if (ValidName(n)) {
      gchar* text = g_key_file_get_value(file.get(), g.c_str(), n.c_str(), nullptr);
      if (std::optional<uint32_t> stored = ParseDword(text)) {
        value = *stored;
        result = kSettingsOk;
      }
      g_free(text);
    }
  }
  last_settings_status.store(result);
  if (status) *status = result;
  return value;
}

int SettingsStore::WriteDword(std::string_view group, std::string_view name, uint32_t value) {
  const int result = WriteText(group, name, std::to_string(value));
  last_settings_status.store(result);
  return result;
}

std::optional<std::string> SettingsStore::ReadText(std::string_view group, std::string_view name) {
  std::lock_guard lock(StoreMutex());
  const std::string g(group), n(name);
  KeyFilePtr file(g_key_file_new());
  if (LoadFile(FilePath(), file.get(), last_error_) != Load::Ok) return std::nullopt;
  last_error_.clear();
  if (!ValidGroup(g) || !ValidName(n)) return std::nullopt;
  gchar* text = g_key_file_get_string(file.get(), g.c_str(), n.c_str(), nullptr);
  if (!text) return std::nullopt;
  std::string out(text);
  g_free(text);
  return out;
}

int SettingsStore::WriteText(std::string_view group, std::string_view name,
                             std::string_view value) {
  std::lock_guard lock(StoreMutex());
  const std::string g(group), n(name), v(value);
  if (!ValidGroup(g) || !ValidName(n) ||
      !g_utf8_validate(v.data(), static_cast<gssize>(v.size()), nullptr) ||
      v.find('\0') != std::string::npos) {
    last_error_ = "invalid settings name or value";
    return kSettingsValueMissing;
  }
  const std::string path = FilePath();
  KeyFilePtr file(g_key_file_new());
  // A file that exists but cannot be read is not replaced: whatever else it holds would
  // be lost.
  if (LoadFile(path, file.get(), last_error_) == Load::Failed)
    return path.empty() ? kSettingsValueMissing : kSettingsKeyMissing;
  g_key_file_set_string(file.get(), g.c_str(), n.c_str(), v.c_str());
  if (!SaveFile(path, file.get(), last_error_)) return kSettingsValueMissing;
  last_error_.clear();
  return kSettingsOk;
}

int SettingsStore::RemoveValue(std::string_view group, std::string_view name) {
  std::lock_guard lock(StoreMutex());
  const std::string g(group), n(name);
  const std::string path = FilePath();
  KeyFilePtr file(g_key_file_new());
  switch (LoadFile(path, file.get(), last_error_)) {
    case Load::Missing:
      last_error_.clear();
      return kSettingsOk;
    case Load::Failed:
      return path.empty() ? kSettingsValueMissing : kSettingsKeyMissing;
    case Load::Ok:
      break;
  }
  last_error_.clear();
  if (!ValidGroup(g) || !ValidName(n) ||
      !g_key_file_has_key(file.get(), g.c_str(), n.c_str(), nullptr))
    return kSettingsOk;
  g_key_file_remove_key(file.get(), g.c_str(), n.c_str(), nullptr);
  if (!SaveFile(path, file.get(), last_error_)) return kSettingsValueMissing;
  return kSettingsOk;
}

}  // namespace vesk::platform
