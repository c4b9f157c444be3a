#include "model/config_file_io.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <random>

namespace vesk::model {

namespace {

std::string ErrnoText(int error) {
  return std::strerror(error);
}

// Closes a descriptor once, whatever way the scope is left.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }
  // Closes now; returns the errno of a failed close, or 0.
  int Close() {
    int result = 0;
    if (fd_ >= 0 && ::close(fd_) != 0) result = errno;
    fd_ = -1;
    return result;
  }

 private:
  int fd_;
};

// The file a save must replace: the target of a symbolic link, so the link survives.
std::string ResolveTarget(const std::string& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char resolved[PATH_MAX];
  if (::realpath(path.c_str(), resolved) == nullptr) return path;
  return resolved;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// Writes every byte, resuming after interruptions and short writes. Returns 0 or errno.
int WriteAll(int fd, std::span<const uint8_t> bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      return errno;
    }
    if (n == 0) return EIO;
    done += static_cast<size_t>(n);
  }
  return 0;
}

}  // namespace

bool ReadFileBytes(const std::string& path, size_t max_bytes, std::vector<uint8_t>& bytes,
                   std::string& error) {
  bytes.clear();
  error.clear();
  // Not blocking: a pipe or device named by mistake must not hold the program up.
  Descriptor fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
  if (fd.get() < 0) {
    error = ErrnoText(errno);
    return false;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    error = ErrnoText(errno);
    return false;
  }
  if (!S_ISREG(st.st_mode)) {
    error = ErrnoText(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    return false;
  }
  if (static_cast<uint64_t>(st.st_size) > max_bytes) return false;
  uint8_t chunk[65536];
  for (;;) {
    const ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
    if (n < 0) {
      if (errno == EINTR) continue;
      error = ErrnoText(errno);
      bytes.clear();
      return false;
    }
    if (n == 0) break;
    if (bytes.size() + static_cast<size_t>(n) > max_bytes) {
      bytes.clear();
      return false;
    }
    bytes.insert(bytes.end(), chunk, chunk + n);
  }
  return true;
}

bool ReplaceFileContents(const std::string& path, std::span<const uint8_t> bytes,
                         std::string& error) {
  error.clear();
  const std::string target = ResolveTarget(path);
  struct stat old {};
  const bool had_file = ::stat(target.c_str(), &old) == 0;
  // A write-protected file stays protected, although the rename could replace it.
  if (had_file && S_ISREG(old.st_mode) && ::access(target.c_str(), W_OK) != 0) {
    error = ErrnoText(errno);
    return false;
  }

  std::random_device seed;
  std::mt19937 random(seed());
  std::string temporary;
  int fd_value = -1;
  for (int attempt = 0; attempt < 100 && fd_value < 0; ++attempt) {
    char suffix[16];
    std::snprintf(suffix, sizeof suffix, ".tmp%06x", static_cast<unsigned>(random() & 0xFFFFFF));
    temporary = target + suffix;
    // 0666 lets the umask decide, as for any new file of the user.
    fd_value = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd_value < 0 && errno != EEXIST) break;
  }
  if (fd_value < 0) {
    error = ErrnoText(errno);
    return false;
  }
  Descriptor fd(fd_value);
  auto fail = [&](int code) {
    fd.Close();
    ::unlink(temporary.c_str());
    error = ErrnoText(code);
    return false;
  };
  if (had_file && S_ISREG(old.st_mode)) (void)::fchmod(fd.get(), old.st_mode & 07777);
  if (int code = WriteAll(fd.get(), bytes); code != 0) return fail(code);
  if (::fsync(fd.get()) != 0) return fail(errno);
  if (int code = fd.Close(); code != 0) return fail(code);
  if (::rename(temporary.c_str(), target.c_str()) != 0) return fail(errno);
  // The rename itself reaches the disk with the folder; a folder that cannot be synced
  // (some file systems refuse) leaves the file saved all the same.
  Descriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) (void)::fsync(folder.get());
  return true;
}

}  // namespace vesk::model
