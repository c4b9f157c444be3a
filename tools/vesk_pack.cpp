// vesk-pack: makes the description container from the description text, and shows the
// text of a container.
//
//   vesk-pack -o OUT.dat IN.txt     IN.txt (UTF-8) -> cp1251, zlib, stream "vesk.tree"
//   vesk-pack --extract CONTAINER   prints the description text (UTF-8)
//   vesk-pack --help                this usage, on stdout
//
// Exit code 0 on success, 1 on a failure (reason on stderr), 2 on wrong arguments.

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <string_view>

#include "model/description_container.h"
#include "platform/text.h"

namespace {

using vesk::model::ContainerStatus;

constexpr const char* kUsage =
    "usage: vesk-pack -o OUT.dat IN.txt\n"
    "       vesk-pack --extract CONTAINER\n";

// The manual pages take their synopsis and options from this text.
constexpr const char* kHelp =
    "\n"
    "Makes the description container that the configurator and the simulator read, and\n"
    "prints the description text of a container.\n"
    "\n"
    "  -o OUT.dat IN.txt    pack the description text IN.txt (UTF-8) into OUT.dat: the\n"
    "                       text in cp1251, compressed with zlib, as the stream\n"
    "                       \"vesk.tree\" of a compound file\n"
    "  --extract CONTAINER  print the description text of CONTAINER (UTF-8)\n"
    "  --help               this text\n"
    "\n"
    "Exit status: 0 done, 1 a file could not be read or written (the reason on stderr),\n"
    "2 wrong arguments.\n";

int Usage() {
  std::cerr << kUsage;
  return 2;
}

bool ReadFile(const char* path, std::string& out) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream buffer;
  buffer << in.rdbuf();
  out = buffer.str();
  return !in.bad();
}

// The first line whose text cp1251 cannot hold (0 when every character has a cp1251 form).
size_t FirstLineNotInCp1251(std::string_view text) {
  size_t line = 1;
  size_t start = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view piece = text.substr(start, end - start);
    if (vesk::platform::Cp1251ToUtf8(vesk::platform::Utf8ToCp1251(piece)) != piece) return line;
    ++line;
    start = end + 1;
  }
  return 0;
}

int Pack(const char* out_path, const char* in_path) {
  std::string text;
  if (!ReadFile(in_path, text)) {
    std::cerr << "vesk-pack: " << in_path << ": " << std::strerror(errno) << "\n";
    return 1;
  }
  if (text.rfind("\xEF\xBB\xBF", 0) == 0) text.erase(0, 3);  // an editor's byte-order mark
  if (text.size() > vesk::model::kMaxDescriptionBytes) {
    std::cerr << "vesk-pack: " << in_path << ": larger than the program reads ("
              << vesk::model::kMaxDescriptionBytes << " bytes)\n";
    return 1;
  }
  // The program reads cp1251: a character without a cp1251 form would arrive as '?'.
  if (size_t line = FirstLineNotInCp1251(text)) {
    std::cerr << "vesk-pack: " << in_path << ":" << line
              << ": not valid UTF-8 or a character that cp1251 cannot hold\n";
    return 1;
  }
  std::string detail;
  if (vesk::model::WriteDescriptionContainer(out_path, vesk::model::kVeskStreamName, text,
                                             &detail) != ContainerStatus::Ok) {
    std::cerr << "vesk-pack: " << out_path << ": " << detail << "\n";
    return 1;
  }
  return 0;
}

int Extract(const char* container) {
  vesk::model::ContainerText text =
      vesk::model::ReadDescriptionContainer(container, vesk::model::kVeskStreamName);
  if (text.status != ContainerStatus::Ok) {
    std::cerr << "vesk-pack: " << container << ": " << text.detail << "\n";
    return 1;
  }
  std::cout << text.text;
  std::cout.flush();
  return std::cout ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && std::string_view(argv[1]) == "--help") {
    std::cout << kUsage << kHelp;
    return std::cout.flush() ? 0 : 1;
  }
  if (argc == 3 && std::string_view(argv[1]) == "--extract") return Extract(argv[2]);
  if (argc == 4 && std::string_view(argv[1]) == "-o") return Pack(argv[2], argv[3]);
  if (argc == 4 && std::string_view(argv[2]) == "-o") return Pack(argv[3], argv[1]);
  return Usage();
}
