#include "app/command_line.h"

#include <sys/stat.h>

#include <limits>

#include "link/address_list.h"
#include "platform/language.h"
#include "platform/text.h"

namespace vesk::app {
namespace {

struct NumberRead {
  int64_t value;
  size_t end;  // first character not read
};

bool IsBlank(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int DigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return 99;
}

// The number at the start of the text, read with checked arithmetic so that an absurd
// value is refused instead of wrapping.
std::optional<NumberRead> ReadNumber(std::string_view t) {
  size_t i = 0;
  while (i < t.size() && IsBlank(t[i])) ++i;
  bool negative = false;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) negative = t[i++] == '-';
  if (i >= t.size() || t[i] < '0' || t[i] > '9') return std::nullopt;
  int base = 10;
  if (t[i] == '0') {
    // "0x" counts as a prefix only when a hexadecimal digit follows; otherwise the
    // number is the single zero and reading stops at the "x".
    if (i + 2 < t.size() && (t[i + 1] == 'x' || t[i + 1] == 'X') && DigitValue(t[i + 2]) < 16) {
      base = 16;
      i += 2;
    } else {
      base = 8;
    }
  }
  const uint64_t limit =
      negative ? uint64_t{1} << 63 : static_cast<uint64_t>(std::numeric_limits<int64_t>::max());
  uint64_t magnitude = 0;
  for (; i < t.size(); ++i) {
    const int d = DigitValue(t[i]);
    if (d >= base) break;
    if (magnitude > (limit - static_cast<uint64_t>(d)) / static_cast<uint64_t>(base)) {
      return std::nullopt;
    }
    magnitude = magnitude * static_cast<uint64_t>(base) + static_cast<uint64_t>(d);
  }
  int64_t value;
  if (negative) {
    value = magnitude == (uint64_t{1} << 63) ? std::numeric_limits<int64_t>::min()
                                             : -static_cast<int64_t>(magnitude);
  } else {
    value = static_cast<int64_t>(magnitude);
  }
  return NumberRead{value, i};
}

// True when the text has the shape of a number, whether or not its value fits.
bool BeginsWithNumber(std::string_view t) {
  size_t i = 0;
  while (i < t.size() && IsBlank(t[i])) ++i;
  if (i < t.size() && (t[i] == '+' || t[i] == '-')) ++i;
  return i < t.size() && t[i] >= '0' && t[i] <= '9';
}

std::string_view TrimQuotes(std::string_view v) {
  while (!v.empty() && v.front() == '"') v.remove_prefix(1);
  while (!v.empty() && v.back() == '"') v.remove_suffix(1);
  return v;
}

enum class Key {
  kUnknown,
  kWrite,
  kRead,
  kPort,
  kBps,
  kPrty,
  kAddr,
  kLen,
  kSbit,
  kAlen,
  kRs485,
  kEcho,
  kAply,
  kX,
  kY,
  kW,
  kH,
  kAutoRead,
  kAutoWrite,
  kSilent,
  kClose,
  kCalibrate,
  kElog,
  kExitEvent,
  kTest,
  // Long form only.
  kHelp,
  kVersion,
  kNoGui,
  kVerbose,
  kGet,
  kSet,
  kPrint,
  kExportHtml,
  kTrace,
  kStats,
  kWatch,
  kPeriod,
  kCount,
  kExportJson,
  kImportJson,
  kDiff,
  kWriteDifferences,
  kDryRun,
  kOutput,
  kBusScan,
  kAddresses,
  kLang,
};

struct KeyName {
  std::string_view name;
  Key key;
  bool long_only;
};

constexpr KeyName kKeys[] = {
    {"write", Key::kWrite, false},
    {"read", Key::kRead, false},
    {"port", Key::kPort, false},
    {"bps", Key::kBps, false},
    {"prty", Key::kPrty, false},
    {"addr", Key::kAddr, false},
    {"len", Key::kLen, false},
    {"sbit", Key::kSbit, false},
    {"alen", Key::kAlen, false},
    {"rs485", Key::kRs485, false},
    {"echo", Key::kEcho, false},
    {"aply", Key::kAply, false},
    {"x", Key::kX, false},
    {"y", Key::kY, false},
    {"w", Key::kW, false},
    {"h", Key::kH, false},
    {"autoread", Key::kAutoRead, false},
    {"autowrite", Key::kAutoWrite, false},
    {"silent", Key::kSilent, false},
    {"close", Key::kClose, false},
    {"calibrate", Key::kCalibrate, false},
    {"elog", Key::kElog, false},
    {"exitevent", Key::kExitEvent, false},
    {"test", Key::kTest, false},
    {"help", Key::kHelp, true},
    {"version", Key::kVersion, true},
    {"no-gui", Key::kNoGui, true},
    {"verbose", Key::kVerbose, true},
    {"get", Key::kGet, true},
    {"set", Key::kSet, true},
    {"print", Key::kPrint, true},
    {"export-html", Key::kExportHtml, true},
    {"trace", Key::kTrace, true},
    {"stats", Key::kStats, true},
    {"watch", Key::kWatch, true},
    {"period", Key::kPeriod, true},
    {"count", Key::kCount, true},
    {"export-json", Key::kExportJson, true},
    {"import-json", Key::kImportJson, true},
    {"diff", Key::kDiff, true},
    {"write-differences", Key::kWriteDifferences, true},
    {"dry-run", Key::kDryRun, true},
    {"output", Key::kOutput, true},
    {"scan", Key::kBusScan, true},
    {"addresses", Key::kAddresses, true},
    {"lang", Key::kLang, false},
};

Key FindKey(std::string_view lowered_name, bool long_form) {
  for (const KeyName& k : kKeys) {
    if (k.name == lowered_name && (long_form || !k.long_only)) return k.key;
  }
  return Key::kUnknown;
}

bool TakesNoValue(Key key) {
  switch (key) {
    case Key::kWrite:
    case Key::kRead:
    case Key::kAply:
    case Key::kSilent:
    case Key::kClose:
    case Key::kCalibrate:
    case Key::kTest:
    case Key::kHelp:
    case Key::kVersion:
    case Key::kNoGui:
    case Key::kVerbose:
    case Key::kStats:
    case Key::kWriteDifferences:
    case Key::kDryRun:
      return true;
    default:
      return false;
  }
}

// The absolute path of an existing file is that file, as a file manager hands it over,
// not a row of keys; keys name no file, so nothing that worked as keys changes.
bool IsExistingFile(const std::string& arg) {
  struct stat st {};
  return arg[0] == '/' && stat(arg.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool IsLinuxAddition(Key key) {
  return key >= Key::kHelp;
}

// The keys without a value: what each one sets.
struct SwitchKey {
  Key key;
  uint32_t flag;
  uint8_t mode;
  bool CommandLine::*field;
};

constexpr SwitchKey kSwitchKeys[] = {
    {Key::kWrite, cmdflag::kWrite, 0, nullptr},
    {Key::kRead, cmdflag::kRead, 0, nullptr},
    {Key::kAply, cmdflag::kAply, 0, nullptr},
    {Key::kClose, cmdflag::kClose, 0, nullptr},
    {Key::kCalibrate, cmdflag::kCalibrate, 0, nullptr},
    {Key::kTest, 0, modebit::kTest, nullptr},
    {Key::kHelp, 0, 0, &CommandLine::help},
    {Key::kVersion, 0, 0, &CommandLine::version},
    {Key::kNoGui, 0, 0, &CommandLine::no_gui},
    {Key::kVerbose, 0, 0, &CommandLine::verbose},
    {Key::kStats, 0, 0, &CommandLine::stats},
    {Key::kWriteDifferences, 0, 0, &CommandLine::write_differences},
    {Key::kDryRun, 0, 0, &CommandLine::dry_run},
};

struct PathKey {
  Key key;
  std::optional<std::string> CommandLine::*field;
};

constexpr PathKey kPathKeys[] = {
    {Key::kPrint, &CommandLine::print_file},       {Key::kTrace, &CommandLine::trace_path},
    {Key::kExportJson, &CommandLine::export_json}, {Key::kImportJson, &CommandLine::import_json},
    {Key::kDiff, &CommandLine::diff_with},         {Key::kOutput, &CommandLine::output},
};

struct WordValue {
  std::string_view word;
  uint8_t value;
};

constexpr WordValue kEchoWords[] = {{"auto", kEchoAuto}, {"on", kEchoOn}, {"off", kEchoOff}};
constexpr WordValue kConverterWords[] = {{"auto", kConverterAuto},
                                         {"off", kConverterOff},
                                         {"on", kConverterOn},
                                         {"driver", kConverterDriver}};

class Parser {
 public:
  explicit Parser(CommandLine& out) : out_(out), s_(out.settings) {}

  void Argument(const std::string& arg) {
    if (arg.find("/ext") != std::string::npos) out_.ext = true;
    if (options_ended_ || arg.empty() || (arg[0] != '/' && arg[0] != '-') || IsExistingFile(arg)) {
      File(arg);
    } else if (arg.size() >= 2 && arg[0] == '-' && arg[1] == '-') {
      LongOption(arg);
    } else {
      KeyArgument(arg);
    }
  }

 private:
  void File(const std::string& arg) {
    if (arg.empty()) {
      out_.problems.push_back(platform::Tr("Пустой аргумент командной строки пропущен"));
      return;
    }
    if (!out_.command_file.empty()) {
      out_.problems.push_back(
          platform::Tr("Аргумент \"") + out_.command_file +
          platform::Tr("\" не используется: файлом конфигурации считается последний "
                       "названный файл"));
    }
    out_.command_file = arg;
  }

  // The original spelling: the text after the first character is cut at every "/";
  // each non-empty piece is "name" or "name:value".
  void KeyArgument(std::string_view arg) {
    s_.flags |= cmdflag::kCommandLineRun;
    std::string_view rest = arg.substr(1);
    size_t tokens = 0, known = 0;
    while (true) {
      const size_t slash = rest.find('/');
      const std::string_view token = rest.substr(0, slash);
      if (!token.empty()) {
        const size_t colon = token.find(':');
        const std::string_view name = token.substr(0, colon);
        const std::string_view value =
            colon == std::string_view::npos ? std::string_view{} : token.substr(colon + 1);
        const Key key = FindKey(platform::FoldLower(name), false);
        ++tokens;
        if (key != Key::kUnknown) ++known;
        Apply(key, value, colon != std::string_view::npos, false, token);
      }
      if (slash == std::string_view::npos) break;
      rest.remove_prefix(slash + 1);
    }
    // On Linux an absolute file name looks like a row of keys; say how to name it.
    if (arg[0] == '/' && tokens > 0 && known == 0) {
      out_.problems.push_back(platform::Tr("Если \"") + std::string(arg) +
                              platform::Tr("\" — имя файла, поставьте перед ним аргумент \"--\""));
    }
  }

  // The Linux spelling: one option per argument, "--name" or "--name=value".
  void LongOption(std::string_view arg) {
    if (arg.size() == 2) {
      options_ended_ = true;
      return;
    }
    const std::string_view body = arg.substr(2);
    const size_t eq = body.find('=');
    const std::string_view name = body.substr(0, eq);
    const std::string_view value =
        eq == std::string_view::npos ? std::string_view{} : body.substr(eq + 1);
    const Key key = FindKey(platform::FoldLower(name), true);
    if (!IsLinuxAddition(key)) s_.flags |= cmdflag::kCommandLineRun;
    Apply(key, value, eq != std::string_view::npos, true, arg);
  }

  void Refuse(std::string_view shown, std::string_view why) {
    out_.problems.push_back(platform::Tr("Ключ \"") + std::string(shown) +
                            platform::Tr("\" не действует: ") + std::string(why));
  }

  // The number of a key that must fit in [lo, hi]; nullopt (and a remark) otherwise.
  std::optional<int64_t> Number(std::string_view value, int64_t lo, int64_t hi,
                                std::string_view shown) {
    const std::optional<NumberRead> n = ReadNumber(value);
    if (!n) {
      Refuse(shown, value.empty() ? platform::Tr("нет значения")
                    : BeginsWithNumber(value) ? platform::Tr("число вне допустимого диапазона")
                                              : platform::Tr("значение не является числом"));
      return std::nullopt;
    }
    if (n->value < lo || n->value > hi) {
      Refuse(shown, platform::Tr("число вне допустимого диапазона"));
      return std::nullopt;
    }
    return n->value;
  }

  // Text of at most `max_chars` characters; a longer one is refused rather than cut.
  bool FitsText(std::string_view text, size_t max_chars, std::string_view shown) {
    if (text.empty()) {
      Refuse(shown, platform::Tr("пустое значение"));
      return false;
    }
    if (platform::Utf8Length(text) > max_chars) {
      Refuse(shown, platform::Tr("значение длиннее ") + std::to_string(max_chars) +
                        platform::Tr(" символов"));
      return false;
    }
    return true;
  }

  // The port takes these texts as decimal numbers, a text without one as 0; say so
  // rather than let "abc" pass unnoticed.
  void WarnUnlessDecimal(std::string_view text, std::string_view shown) {
    if (!BeginsWithNumber(text))
      out_.problems.push_back(platform::Tr("Значение ключа \"") + std::string(shown) +
                              platform::Tr("\" не число, взят 0"));
  }

  bool FitsPath(std::string_view text, std::string_view shown) {
    if (text.empty()) {
      Refuse(shown, platform::Tr("пустое значение"));
      return false;
    }
    if (text.size() > kMaxPathBytes) {
      Refuse(shown, platform::Tr("слишком длинный путь"));
      return false;
    }
    return true;
  }

  void Apply(Key key, std::string_view typed, bool has_value, bool long_form,
             std::string_view shown) {
    if (key == Key::kUnknown) {
      Refuse(shown, platform::Tr("неизвестный ключ"));
      return;
    }
    if (long_form && has_value && TakesNoValue(key)) {
      Refuse(shown, platform::Tr("ключ не принимает значения"));
      return;
    }
    // Values compare without regard to case in both spellings; texts that are kept
    // keep the case they were typed with only in the long spelling, as the original
    // spelling lower-cases them (the error log path excepted).
    const std::string lowered = platform::FoldLower(typed);
    const std::string_view text = long_form ? typed : std::string_view(lowered);
    if (ApplySwitch(key) || ApplyPath(key, typed, shown) ||
        ApplyPortKey(key, typed, text, lowered, long_form, shown) ||
        ApplyWindowKey(key, typed, lowered, shown))
      return;
    ApplyOtherKey(key, typed, text, shown);
  }

  // The keys without a value: bits of the settings or fields of the command line.
  bool ApplySwitch(Key key) {
    for (const SwitchKey& k : kSwitchKeys) {
      if (k.key != key) continue;
      s_.flags |= k.flag;
      s_.modes |= k.mode;
      if (k.field) out_.*k.field = true;
      return true;
    }
    if (key != Key::kSilent) return false;
    s_.modes |= modebit::kSilent | modebit::kAutoReadOff | modebit::kAutoWriteOff;
    s_.modes &= static_cast<uint8_t>(~(modebit::kAutoReadOn | modebit::kAutoWriteOn));
    return true;
  }

  // The long keys that name a file, kept as typed.
  bool ApplyPath(Key key, std::string_view typed, std::string_view shown) {
    for (const PathKey& k : kPathKeys) {
      if (k.key != key) continue;
      if (FitsPath(typed, shown)) out_.*k.field = std::string(typed);
      return true;
    }
    return false;
  }

  bool ApplyPortKey(Key key, std::string_view typed, std::string_view text,
                    const std::string& lowered, bool long_form, std::string_view shown) {
    switch (key) {
      case Key::kPort:
        Port(typed, long_form, shown);
        return true;
      case Key::kBps:
        if (auto n = Number(typed, 0, std::numeric_limits<uint32_t>::max(), shown))
          PortSetting(s_.baud, static_cast<uint32_t>(*n));
        return true;
      case Key::kLen:
        if (auto n = Number(typed, 0, 255, shown)) PortSetting(s_.data_bits, uint8_t(*n));
        return true;
      case Key::kAlen:
        if (auto n = Number(typed, 0, 255, shown)) PortSetting(s_.address_length, uint8_t(*n));
        return true;
      case Key::kPrty:
        Parity(lowered, shown);
        return true;
      case Key::kAddr:
        TypedPortSetting(s_.address, text, kMaxAddressChars, shown);
        return true;
      case Key::kSbit:
        TypedPortSetting(s_.stop_bits, text, kMaxStopBitsChars, shown);
        return true;
      case Key::kEcho:
        Word(lowered, kEchoWords, s_.echo, shown);
        return true;
      case Key::kRs485:
        Word(lowered, kConverterWords, s_.converter, shown);
        return true;
      default:
        return false;
    }
  }

  bool ApplyWindowKey(Key key, std::string_view typed, const std::string& lowered,
                      std::string_view shown) {
    switch (key) {
      case Key::kX:
        Placement(typed, s_.x, placebit::kX, shown);
        return true;
      case Key::kY:
        Placement(typed, s_.y, placebit::kY, shown);
        return true;
      case Key::kW:
        Placement(typed, s_.w, placebit::kW, shown);
        return true;
      case Key::kH:
        Placement(typed, s_.h, placebit::kH, shown);
        return true;
      case Key::kAutoRead:
        OnOff(lowered, modebit::kAutoReadOn, modebit::kAutoReadOff, shown);
        return true;
      case Key::kAutoWrite:
        OnOff(lowered, modebit::kAutoWriteOn, modebit::kAutoWriteOff, shown);
        return true;
      default:
        return false;
    }
  }

  void ApplyOtherKey(Key key, std::string_view typed, std::string_view text,
                     std::string_view shown) {
    switch (key) {
      case Key::kElog:
        // Kept as typed in both spellings: on a case-sensitive file system a
        // lower-cased path names another file, or a directory that does not exist.
        if (const std::string_view path = TrimQuotes(typed); FitsPath(path, shown))
          out_.log_path = path;
        break;
      case Key::kExitEvent:
        if (const std::string_view name = TrimQuotes(text); FitsPath(name, shown))
          out_.exit_event_name = name;
        break;
      case Key::kGet:
      case Key::kSet:
        Access(typed, key == Key::kSet, shown);
        break;
      case Key::kExportHtml:
        if (typed.size() > kMaxPathBytes)
          Refuse(shown, platform::Tr("слишком длинный путь"));
        else
          out_.export_html = std::string(typed);
        break;
      case Key::kWatch:
        Watch(typed, shown);
        break;
      case Key::kPeriod:
      case Key::kCount:
        Positive(typed, key == Key::kPeriod, shown);
        break;
      case Key::kBusScan:
      case Key::kAddresses:
        Addresses(key == Key::kBusScan, typed, shown);
        break;
      case Key::kLang:
        out_.language = platform::ParseLanguage(typed);
        out_.language_refused = !out_.language;
        if (out_.language_refused) Refuse(shown, platform::Tr("язык задается как ru или en"));
        break;
      default:
        break;
    }
  }

  template <typename T>
  void PortSetting(T& field, T value) {
    field = value;
    s_.flags |= cmdflag::kPortSettings;
  }

  void TypedPortSetting(std::string& field, std::string_view text, size_t max_chars,
                        std::string_view shown) {
    if (!FitsText(text, max_chars, shown)) return;
    PortSetting(field, std::string(text));
    WarnUnlessDecimal(text, shown);
  }

  void Parity(const std::string& lowered, std::string_view shown) {
    if (lowered == "even" || lowered == "odd" || lowered == "no") {
      PortSetting(s_.parity, lowered == "even"  ? kParityEven
                             : lowered == "odd" ? kParityOdd
                                                : kParityNone);
    } else {
      s_.flags &= ~cmdflag::kPortSettings;
      Refuse(shown,
             platform::Tr("недопустимое значение; заданные ранее параметры порта не применяются"));
    }
  }

  template <size_t N>
  void Word(const std::string& lowered, const WordValue (&words)[N], uint8_t& field,
            std::string_view shown) {
    for (const WordValue& w : words) {
      if (lowered != w.word) continue;
      field = w.value;
      return;
    }
    Refuse(shown, platform::Tr("недопустимое значение"));
  }

  // --scan=FROM-TO or --addresses=LIST, kept as typed.
  void Addresses(bool range, std::string_view typed, std::string_view shown) {
    if (range && !typed.empty() && !link::ParseAddressRange(typed, kMaxBusAddress)) {
      Refuse(shown, platform::Tr("нужен диапазон адресов ОТ-ДО"));
    } else if (!range && !link::ParseAddressList(typed, kMaxBusAddress)) {
      Refuse(shown, platform::Tr("нужен список адресов, например 16,17,20-25"));
    } else if (range) {
      out_.bus_scan = std::string(typed);
    } else {
      out_.addresses = std::string(typed);
    }
  }

  // NAME[:INDEX][,NAME[:INDEX]...]; a bad item is refused alone.
  void Watch(std::string_view typed, std::string_view shown) {
    size_t start = 0;
    for (;;) {
      const size_t comma = typed.find(',', start);
      const std::string_view item =
          typed.substr(start, comma == std::string_view::npos ? comma : comma - start);
      Access(item, false, shown, out_.watch);
      if (comma == std::string_view::npos) break;
      start = comma + 1;
    }
  }

  // --period in milliseconds (1 ... one day), --count in rounds (from 1).
  void Positive(std::string_view typed, bool period, std::string_view shown) {
    const std::optional<NumberRead> n = ReadNumber(typed);
    constexpr int64_t kLongestPeriodMs = 86'400'000;
    if (!n || n->end != typed.size() || n->value < 1 || (period && n->value > kLongestPeriodMs)) {
      Refuse(shown, platform::Tr("недопустимое значение"));
      return;
    }
    if (period)
      out_.period_ms = static_cast<uint32_t>(n->value);
    else
      out_.count = static_cast<uint64_t>(n->value);
  }

  // A number names COMn; in the long spelling any other text names the device itself.
  void Port(std::string_view typed, bool long_form, std::string_view shown) {
    if (long_form) {
      const std::optional<NumberRead> n = ReadNumber(typed);
      if (!n || n->end != typed.size()) {
        if (FitsPath(typed, shown)) {
          s_.port_path = typed;
          s_.port = 0;
          s_.flags |= cmdflag::kPortSettings;
        }
        return;
      }
    }
    // A number beyond 255 is refused: keeping its low 8 bits would open another port.
    if (auto n = Number(typed, 0, 255, shown)) {
      s_.port = static_cast<uint8_t>(*n);
      s_.port_path.clear();
      s_.flags |= cmdflag::kPortSettings;
    }
  }

  void Placement(std::string_view typed, int32_t& field, uint8_t bit, std::string_view shown) {
    if (auto n = Number(typed, std::numeric_limits<int32_t>::min(),
                        std::numeric_limits<int32_t>::max(), shown)) {
      field = static_cast<int32_t>(*n);
      s_.placement |= bit;
    }
  }

  // The later of "on" and "off" wins, so that the two bits never contradict each other.
  void OnOff(std::string_view lowered, uint8_t on, uint8_t off, std::string_view shown) {
    if (lowered == "on") {
      s_.modes = static_cast<uint8_t>((s_.modes & ~off) | on);
    } else if (lowered == "off") {
      s_.modes = static_cast<uint8_t>((s_.modes & ~on) | off);
    } else {
      Refuse(shown, platform::Tr("недопустимое значение"));
    }
  }

  // NAME[:INDEX] for --get, NAME[:INDEX]=VALUE for --set.
  void Access(std::string_view typed, bool write, std::string_view shown) {
    Access(typed, write, shown, out_.parameter_access);
  }
  void Access(std::string_view typed, bool write, std::string_view shown,
              std::vector<ParameterAccess>& into) {
    ParameterAccess a;
    a.write = write;
    std::string_view target = typed;
    if (write) {
      const size_t eq = typed.find('=');
      if (eq == std::string_view::npos) {
        Refuse(shown, platform::Tr("нет значения параметра (ИМЯ=ЗНАЧЕНИЕ)"));
        return;
      }
      target = typed.substr(0, eq);
      const std::string_view value = typed.substr(eq + 1);
      if (platform::Utf8Length(value) > kMaxParameterValueChars) {
        Refuse(shown, platform::Tr("значение длиннее ") + std::to_string(kMaxParameterValueChars) +
                          platform::Tr(" символов"));
        return;
      }
      a.value = value;
    }
    const size_t colon = target.rfind(':');
    if (colon != std::string_view::npos) {
      const std::string_view index = target.substr(colon + 1);
      uint64_t n = 0;
      bool ok = !index.empty();
      for (char c : index) {
        if (c < '0' || c > '9' || n > (std::numeric_limits<uint32_t>::max() - (c - '0')) / 10) {
          ok = false;
          break;
        }
        n = n * 10 + static_cast<uint64_t>(c - '0');
      }
      if (!ok) {
        Refuse(shown, platform::Tr("неверный индекс параметра"));
        return;
      }
      a.index = static_cast<uint32_t>(n);
      target = target.substr(0, colon);
    }
    if (target.empty()) {
      Refuse(shown, platform::Tr("не названо имя параметра"));
      return;
    }
    a.name = target;
    into.push_back(std::move(a));
  }

  CommandLine& out_;
  CommandLineSettings& s_;
  bool options_ended_ = false;
};

}  // namespace

std::optional<int64_t> ReadKeyNumber(std::string_view text) {
  if (auto n = ReadNumber(text)) return n->value;
  return std::nullopt;
}

CommandLine ParseCommandLine(const std::vector<std::string>& args) {
  CommandLine out;
  Parser parser(out);
  for (const std::string& arg : args) parser.Argument(arg);
  return out;
}

CommandLine ParseCommandLine(int argc, const char* const* argv) {
  std::vector<std::string> args;
  for (int i = 1; i < argc && argv != nullptr; ++i) {
    if (argv[i] != nullptr) args.emplace_back(argv[i]);
  }
  return ParseCommandLine(args);
}

}  // namespace vesk::app
