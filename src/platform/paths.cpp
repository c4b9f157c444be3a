#include "platform/paths.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

namespace vesk::platform {

namespace {

std::string AbsoluteEnv(const char* name) {
  const char* value = std::getenv(name);
  if (!value || value[0] != '/') return {};
  std::string s(value);
  while (s.size() > 1 && s.back() == '/') s.pop_back();
  return s;
}

std::string XdgDir(const char* variable, const char* home_suffix) {
  std::string dir = AbsoluteEnv(variable);
  if (!dir.empty()) return dir;
  std::string home = AbsoluteEnv("HOME");
  if (home.empty()) return {};
  if (home == "/") home.clear();
  return home + home_suffix;
}

}  // namespace

std::string ProgramFolder() {
  std::vector<char> buf(256);
  for (;;) {
    const ssize_t n = readlink("/proc/self/exe", buf.data(), buf.size());
    if (n < 0) return "./";
    if (static_cast<size_t>(n) < buf.size()) {
      std::string path(buf.data(), static_cast<size_t>(n));
      const size_t slash = path.rfind('/');
      return slash == std::string::npos ? "./" : path.substr(0, slash + 1);
    }
    if (buf.size() >= 65536) return "./";
    buf.resize(buf.size() * 2);
  }
}

std::string ProgramFile(const std::string& program_folder, std::string_view beside,
                        std::string_view installed) {
  const std::string here = program_folder + std::string(beside);
  if (access(here.c_str(), F_OK) == 0) return here;
  std::string prefix = program_folder;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  const size_t slash = prefix.rfind('/');
  prefix = slash == std::string::npos ? program_folder + "../" : prefix.substr(0, slash + 1);
  const std::string there = prefix + std::string(installed);
  return access(there.c_str(), F_OK) == 0 ? there : here;
}

std::string UserConfigDir() {
  return XdgDir("XDG_CONFIG_HOME", "/.config");
}
std::string UserCacheDir() {
  return XdgDir("XDG_CACHE_HOME", "/.cache");
}

bool MakeDirectories(const std::string& path) {
  if (path.empty()) {
    errno = ENOENT;
    return false;
  }
  struct stat st {};
  if (stat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) return true;
    errno = ENOTDIR;
    return false;
  }
  std::string trimmed = path;
  while (trimmed.size() > 1 && trimmed.back() == '/') trimmed.pop_back();
  const size_t slash = trimmed.rfind('/');
  if (slash != std::string::npos && slash > 0 && !MakeDirectories(trimmed.substr(0, slash)))
    return false;
  if (mkdir(trimmed.c_str(), 0700) == 0) return true;
  if (errno == EEXIST && stat(trimmed.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return true;
  return false;
}

}  // namespace vesk::platform
