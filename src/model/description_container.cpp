#include "model/description_container.h"

#include <gsf/gsf-infile-msole.h>
#include <gsf/gsf-infile.h>
#include <gsf/gsf-input-stdio.h>
#include <gsf/gsf-outfile-msole.h>
#include <gsf/gsf-outfile.h>
#include <gsf/gsf-output-stdio.h>
#include <gsf/gsf-utils.h>
#include <zlib.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "platform/paths.h"
#include "platform/text.h"

namespace vesk::model {

namespace {

void EnsureGsf() {
  static std::once_flag once;
  std::call_once(once, [] { gsf_init(); });
}

// Owns one GObject reference.
template <typename T>
class GRef {
 public:
  explicit GRef(T* p = nullptr) : p_(p) {}
  ~GRef() {
    if (p_) g_object_unref(p_);
  }
  GRef(const GRef&) = delete;
  GRef& operator=(const GRef&) = delete;
  T* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_;
};

std::string TakeError(GError*& err, const char* fallback) {
  std::string text = err && err->message ? err->message : fallback;
  if (err) g_error_free(err);
  err = nullptr;
  return text;
}

}  // namespace

std::string_view StreamNameForKind(int32_t device_kind) {
  return device_kind == kVeskDeviceKind ? std::string_view(kVeskStreamName) : std::string_view();
}

std::string ContainerPath() {
  const char* env = std::getenv(kContainerEnvVar);
  if (env && *env) return env;
  return platform::ProgramFile(platform::ProgramFolder(), kContainerFileName,
                               std::string(platform::kInstalledDataFolder) + kContainerFileName);
}

std::string DeflateBytes(std::string_view raw) {
  uLongf size = compressBound(static_cast<uLong>(raw.size()));
  std::string out(size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(out.data()), &size,
                reinterpret_cast<const Bytef*>(raw.data()), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return {};
  out.resize(size);
  return out;
}

ContainerStatus InflateBytes(std::string_view compressed, size_t limit, std::string& out,
                             std::string* detail) {
  out.clear();
  z_stream zs{};
  if (inflateInit(&zs) != Z_OK) {
    if (detail) *detail = "inflateInit";
    return ContainerStatus::BadData;
  }
  zs.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(compressed.data()));
  zs.avail_in = static_cast<uInt>(compressed.size());
  unsigned char chunk[kInflateChunk];
  int rc = Z_OK;
  ContainerStatus status = ContainerStatus::Ok;
  do {
    zs.next_out = chunk;
    zs.avail_out = sizeof chunk;
    rc = inflate(&zs, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) {
      // Z_BUF_ERROR here means the input ran out before the end of the stream.
      if (detail) *detail = zs.msg ? zs.msg : (rc == Z_BUF_ERROR ? "truncated stream" : "inflate");
      status = ContainerStatus::BadData;
      break;
    }
    size_t produced = sizeof chunk - zs.avail_out;
    if (out.size() + produced > limit) {
      if (detail) *detail = "description too large";
      status = ContainerStatus::BadData;
      break;
    }
    out.append(reinterpret_cast<const char*>(chunk), produced);
  } while (rc != Z_STREAM_END);
  inflateEnd(&zs);
  if (status != ContainerStatus::Ok) out.clear();
  return status;
}

ContainerText ReadDescriptionContainer(const std::string& path, std::string_view stream) {
  EnsureGsf();
  ContainerText result;
  GError* err = nullptr;
  // Opened read-only: whatever lies at the path stays as it is.
  GRef<GsfInput> file(gsf_input_stdio_new(path.c_str(), &err));
  if (!file) {
    result.detail = TakeError(err, std::strerror(errno));
    return result;
  }
  GRef<GsfInfile> storage(gsf_infile_msole_new(file.get(), &err));
  if (!storage) {
    result.detail = TakeError(err, "not a compound file");
    return result;
  }
  std::string name(stream);
  GRef<GsfInput> input(gsf_infile_child_by_name(storage.get(), name.c_str()));
  if (!input) {
    result.detail = "no stream \"" + name + "\"";
    return result;
  }
  // Read as the data arrives rather than by the size the directory claims.
  std::string compressed;
  for (;;) {
    gsf_off_t left = gsf_input_remaining(input.get());
    if (left <= 0) break;
    size_t piece =
        left < static_cast<gsf_off_t>(kInflateChunk) ? static_cast<size_t>(left) : kInflateChunk;
    const guint8* data = gsf_input_read(input.get(), piece, nullptr);
    if (!data) {
      result.detail = "stream read failed";
      return result;
    }
    if (compressed.size() + piece > kMaxDescriptionBytes) {
      result.status = ContainerStatus::BadData;
      result.detail = "description too large";
      return result;
    }
    compressed.append(reinterpret_cast<const char*>(data), piece);
  }
  std::string raw;
  result.status = InflateBytes(compressed, kMaxDescriptionBytes, raw, &result.detail);
  if (result.status != ContainerStatus::Ok) return result;
  // The text ends at the end of the stream, or at a NUL as in a C string.
  if (size_t nul = raw.find('\0'); nul != std::string::npos) raw.resize(nul);
  result.text = platform::Cp1251ToUtf8(raw);
  return result;
}

ContainerStatus WriteDescriptionContainer(const std::string& path, std::string_view stream,
                                          std::string_view utf8_text, std::string* detail) {
  std::string compressed = DeflateBytes(platform::Utf8ToCp1251(utf8_text));
  if (compressed.empty()) {
    if (detail) *detail = "compression failed";
    return ContainerStatus::WriteFailed;
  }
  return WriteCompoundStream(path, stream, compressed, detail);
}

ContainerStatus WriteCompoundStream(const std::string& path, std::string_view stream,
                                    std::string_view bytes, std::string* detail) {
  EnsureGsf();
  GError* err = nullptr;
  // The stdio output writes a temporary file and renames it over `path` when closed.
  GRef<GsfOutput> file(gsf_output_stdio_new(path.c_str(), &err));
  if (!file) {
    if (detail) *detail = TakeError(err, std::strerror(errno));
    return ContainerStatus::WriteFailed;
  }
  GRef<GsfOutfile> storage(gsf_outfile_msole_new(file.get()));
  if (!storage) {
    if (detail) *detail = "cannot create a compound file";
    return ContainerStatus::WriteFailed;
  }
  std::string name(stream);
  GRef<GsfOutput> child(gsf_outfile_new_child(storage.get(), name.c_str(), FALSE));
  bool ok = child && gsf_output_write(child.get(), bytes.size(),
                                      reinterpret_cast<const guint8*>(bytes.data()));
  if (child) ok = gsf_output_close(child.get()) && ok;
  // Closing the compound file writes its directory and closes the file beneath it.
  ok = gsf_output_close(GSF_OUTPUT(storage.get())) && ok;
  if (!gsf_output_is_closed(file.get())) ok = gsf_output_close(file.get()) && ok;
  if (!ok) {
    const GError* e = gsf_output_error(GSF_OUTPUT(storage.get()));
    if (!e) e = gsf_output_error(file.get());
    if (detail) *detail = e && e->message ? e->message : "write failed";
    return ContainerStatus::WriteFailed;
  }
  return ContainerStatus::Ok;
}

}  // namespace vesk::model
