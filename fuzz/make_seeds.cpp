// Writes the seed corpora of the fuzz targets from real inputs: replies built with the
// frame codec and the probe codec, the device's description, configurations saved by the
// configuration writer, and the command lines of the manual. Run once when the formats
// change: make_seeds <fuzz/corpus folder>.

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "link/device_link.h"
#include "link/frame_codec.h"
#include "link/presenter.h"
#include "link/probe_codec.h"
#include "model/archive.h"
#include "model/config_file.h"
#include "model/configuration_json.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "platform/text.h"
#include "reply_converters.h"
#include "silent_presenter.h"

namespace {

namespace fs = std::filesystem;
using namespace vesk;
using Bytes = std::vector<uint8_t>;

fs::path corpus;

void put(const std::string& target, const std::string& name, const Bytes& bytes) {
  const fs::path dir = corpus / target;
  fs::create_directories(dir);
  std::ofstream out(dir / name, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

Bytes text_bytes(std::string_view text) {
  return Bytes(text.begin(), text.end());
}

uint8_t converter_index(std::string_view name, std::string_view type) {
  for (size_t i = 0; i < fuzz::kConverterCount; ++i)
    if (name == fuzz::kConverters[i].name && type == fuzz::kConverters[i].type)
      return static_cast<uint8_t>(i);
  std::fprintf(stderr, "no converter %.*s\n", static_cast<int>(name.size()), name.data());
  std::exit(1);
}

// One reply seed: the road, the converter, the modifier byte and the payload.
Bytes reply_seed(int road, uint8_t converter, uint8_t modifier, const Bytes& payload) {
  Bytes seed{static_cast<uint8_t>(converter << 2 | road), modifier};
  seed.insert(seed.end(), payload.begin(), payload.end());
  return seed;
}

// The line form of a device reply; it has the layout of a request.
Bytes reply_line(std::string_view name, const Bytes& data, int address_bits = 8,
                 bool read = false) {
  link::RequestFrame frame;
  link::FrameAddress address{16, address_bits, 0};
  if (address_bits == 11) address.base = 1000;
  link::BuildRequest(read, link::NameHash(name), data.data(), static_cast<int>(data.size()),
                     address, frame);
  return text_bytes(frame.Text());
}

// The byte form without its checksum (road 1 appends it).
Bytes reply_body(std::string_view name, const Bytes& data) {
  const uint16_t hash = link::NameHash(name);
  Bytes body{16, static_cast<uint8_t>(data.size() & 0x0F), static_cast<uint8_t>(hash >> 8),
             static_cast<uint8_t>(hash & 0xFF)};
  body.insert(body.end(), data.begin(), data.end());
  return body;
}

void reply_seeds() {
  struct Case {
    const char* file;
    const char* name;
    const char* type;
    Bytes data;
  };
  const Bytes float_one_and_half{0x3F, 0xC0, 0x00, 0x00};
  const std::string dev = platform::Utf8ToCp1251("ВЕСК-12");
  const Case cases[] = {
      {"alen", "A.Len", "int", {0x01}},
      {"bps", "bPS", "int", {0x02}},
      {"prty", "PrtY", "int", {0x01}},
      {"addr_indexed", "Addr", "int", {0x00, 0x10}},
      {"float", "Wt.1", "float", float_one_and_half},
      {"float_indexed", "Wt.2", "float:2", {0x3F, 0xC0, 0x00, 0x00, 0x00, 0x03}},
      {"roe", "r.oe", "float:3", {0x3F, 0x00, 0x00}},
      {"int_two", "Cnt", "int", {0x01, 0x2C}},
      {"int_indexed", "Cnt", "int:1", {0x05, 0x00, 0x07}},
      {"clock", "Alr.t", "CLK_frm", {0x00, 0x0A}},
      {"dev", "dev", "string", Bytes(dev.begin(), dev.end())},
      {"string_nul", "Txt", "string", {'L', 'O', 0, 'R', 'N'}},
      {"name", "CHAr*", "name", {28, 22, 56, 78}},
      {"name_indexed", "Nm", "name", {28, 22, 56, 78, 0, 4}},
      {"exit_address", "exit", "", {24, 0x00, 0x10}},
      {"exit_code", "exit", "", {0, 0, 8}},
      {"choice", "Yn", "Нет:Да", {0x01}},
      {"void", "Cmd", "void", {}},
      {"aply", "APLY", "", {}},
  };
  for (const Case& c : cases) {
    const uint8_t k = converter_index(c.name, c.type);
    put("fuzz_reply", std::string("line_") + c.file,
        reply_seed(0, k, 0, reply_line(c.name, c.data)));
    put("fuzz_reply", std::string("body_") + c.file,
        reply_seed(1, k, 0, reply_body(c.name, c.data)));
    put("fuzz_reply", std::string("data_") + c.file, reply_seed(2, k, 0, c.data));
  }
  const uint8_t plain = converter_index("Cnt", "int");
  put("fuzz_reply", "line_error_reply", reply_seed(0, plain, 0, reply_line("n.Err", {0x05})));
  put("fuzz_reply", "line_error_empty", reply_seed(0, plain, 0, reply_line("n.Err", {})));
  put("fuzz_reply", "line_attributes",
      reply_seed(0, plain, 0, reply_line("M.s.t.r.", {0x03, 0x1E, 0xD2})));
  put("fuzz_reply", "line_11bit", reply_seed(0, plain, 0, reply_line("Addr", {0x03, 0xE8}, 11)));
  put("fuzz_reply", "line_full", reply_seed(0, plain, 0, reply_line("Txt", Bytes(15, 'A'))));
  Bytes broken = reply_line("A.Len", {0x01});
  broken[broken.size() - 2] ^= 1;
  put("fuzz_reply", "line_bad_checksum", reply_seed(0, plain, 0, broken));
  put("fuzz_reply", "data_negative_count", reply_seed(2, plain, 0x83, {1, 2, 3}));

  // Probe replies: the Modbus devices echo the request; the "%" device answers with "!".
  const uint8_t address = 16;
  for (int mode = link::kProbeModbusRtu; mode <= link::kProbeModbusAscii; ++mode) {
    link::ProbeFrame frame;
    link::BuildProbeRequest(mode, address, link::kModbusProbePayload,
                            sizeof link::kModbusProbePayload, frame);
    const uint8_t selector = static_cast<uint8_t>((mode - 1) << 2 | 3);
    put("fuzz_reply", "probe_" + std::to_string(mode),
        reply_seed(3, selector >> 2, address, text_bytes(frame.Text())));
  }
  link::ProbeFrame percent;
  link::BuildProbeRequest(link::kProbePercent, address, link::kPercentProbePayload,
                          sizeof link::kPercentProbePayload, percent);
  std::string answer(percent.Text().substr(0, percent.Text().size() - 3));
  answer[0] = '!';
  unsigned sum = 0;
  for (char ch : answer) sum += static_cast<unsigned char>(ch);
  char hex[3];
  std::snprintf(hex, sizeof hex, "%02X", sum & 0xFF);
  answer += hex;
  answer += '\r';
  put("fuzz_reply", "probe_3", reply_seed(3, 2, address, text_bytes(answer)));
}

std::string read_text(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), {});
}

void description_seeds(const std::string& vesk_text) {
  // The target reads cp1251, as the container holds it.
  put("fuzz_description", "vesk_tree", text_bytes(platform::Utf8ToCp1251(vesk_text)));
  const char* small[] = {
      "const N 3\ntype YN Нет Да\nparameter A.Len int Длина noattr\nrule A.Len 8 11\n"
      "init A.Len 8\nbranch B N 1 2 A.Len\nroot R 1 1 1 B\n",
      "parameter r.oe float Уровень noattr\nbranch L 4 9 10 r.oe\nscanners S 1 9 10 L\n",
      "parameter POUt int Выход table2+ 7\nbranch O# 8 7 8 POUt\nbranch Oo 1 2 3 O#\n"
      "root R 1 1 1 Oo\n",
      "parameter clb.k int К table3* 15\nbranch N*2 1 7 8 clb.k\nbranch V+1*2 1 7 8 clb.k\n"
      "branch K# 4 7 8 N*2 V+1*2\nroot R 1 1 1 K#\n",
      "parameter CHAr* name Имя table5 3\nbranch Сетевые_параметры 1 4 4 CHAr*\n"
      "root R 1 1 1 Сетевые_параметры\n",
      "; комментарий\n' тоже\nconst A 1\nconst A 2\n",
      "parameter !x string Строка noattr\ninit x текст_с_подчеркиваниями\nroot R 1 1 1 x\n",
  };
  int n = 0;
  for (const char* text : small)
    put("fuzz_description", "small_" + std::to_string(++n),
        text_bytes(platform::Utf8ToCp1251(text)));
}

size_t fill_values(model::DescriptionBranch& branch, size_t n = 0) {
  for (auto& p : branch.parameters) {
    p->value = "Значение " + std::to_string(++n);
    p->value_changed = n % 2 == 0;
    if (n % 3 == 0) p->note = "Таймаут";
  }
  for (auto& child : branch.children) n = fill_values(*child, n);
  return n;
}

void collect(model::DescriptionBranch& branch, std::vector<link::Parameter*>& all) {
  for (auto& p : branch.parameters) all.push_back(p.get());
  for (auto& child : branch.children) collect(*child, all);
}

void vesk_seeds(const std::string& vesk_text) {
  model::DescriptionTree tree;
  if (model::BuildDescription(vesk_text, tree) != model::DescriptionStatus::Built) {
    std::fprintf(stderr, "the VESK description does not build\n");
    std::exit(1);
  }
  put("fuzz_vesk", "fresh", model::ConfigurationBytes({model::kVeskDeviceKind, tree.root.get()}));
  fill_values(*tree.root);
  const Bytes full = model::ConfigurationBytes({model::kVeskDeviceKind, tree.root.get()});
  put("fuzz_vesk", "filled", full);
  put("fuzz_vesk", "truncated", Bytes(full.begin(), full.begin() + full.size() / 3));
  put("fuzz_vesk", "other_kind", model::ConfigurationBytes({7, tree.root.get()}));

  // The older layouts: no device-kind code (schema 3), and the outdated schema 1.
  model::ArchiveWriter no_kind;
  no_kind.WriteClass(model::kDocumentClass, model::kDocumentSchemaNoKind);
  model::StoreBranch(no_kind, *tree.root);
  put("fuzz_vesk", "no_kind", no_kind.bytes());
  model::ArchiveWriter outdated;
  outdated.WriteClass(model::kDocumentClass, model::kDocumentSchemaOutdated);
  put("fuzz_vesk", "outdated", outdated.bytes());

  // A value that cp1251 cannot hold goes in the UTF-16 form, and a long one in the 16-bit
  // length form.
  std::vector<link::Parameter*> all;
  collect(*tree.root, all);
  all.front()->value = "€ and ☃";
  all.back()->value = std::string(300, 'x');
  put("fuzz_vesk", "wide_texts",
      model::ConfigurationBytes({model::kVeskDeviceKind, tree.root.get()}));
}

Bytes text_of(const std::string& text) {
  return Bytes(text.begin(), text.end());
}

void json_seeds(const std::string& vesk_text) {
  model::DescriptionTree tree;
  if (model::BuildDescription(vesk_text, tree) != model::DescriptionStatus::Built) std::exit(1);
  std::string json, error;
  model::ConfigurationToJson({model::kVeskDeviceKind, tree.root.get()}, json, error);
  put("fuzz_json", "fresh", text_of(json));

  // Values the codecs take, attributes, a note with the characters JSON escapes, flags.
  std::vector<link::Parameter*> all;
  collect(*tree.root, all);
  for (link::Parameter* p : all) {
    if (p->short_name == "FiLt") p->SetValueFromText("25");
    if (p->short_name == "Cn.K") p->SetValueFromText("2.5");
  }
  all.front()->note = "Таймаут \"1\"\t\n€";
  all.back()->editable = false;
  all.back()->owned_by_firm = true;
  all.back()->owner_changed = true;
  model::ConfigurationToJson({model::kVeskDeviceKind, tree.root.get()}, json, error);
  put("fuzz_json", "edited", text_of(json));
  put("fuzz_json", "truncated", text_of(json.substr(0, json.size() / 2)));

  const std::string head = R"({"format":"vesk-configuration","version":1,"device_kind":3,)";
  put("fuzz_json", "one_line",
      text_of(head + R"("parameters":[{"path":"Входы/Вход №4","name":"FiLt","index":3,)" +
              R"("value":"77","editable":true,"owner":"user","note":"","changed":["value"]}]})"));
  put("fuzz_json", "empty", text_of(head + R"("parameters":[]})"));
}

Bytes args(std::initializer_list<std::string_view> list) {
  Bytes out;
  for (std::string_view a : list) {
    if (!out.empty()) out.push_back(0);
    out.insert(out.end(), a.begin(), a.end());
  }
  return out;
}

void cmdline_seeds() {
  const std::pair<const char*, Bytes> cases[] = {
      {"keys_one_argument", args({"/port:3/bps:9600/prty:even"})},
      {"keys_three_arguments", args({"/port:3", "/bps:9600", "/prty:even"})},
      {"prty_withdraws", args({"/port:3/prty:mark"})},
      {"prty_first", args({"/prty:mark/port:3"})},
      {"port_zero", args({"/port:0"})},
      {"hex_and_bad", args({"/bps:0x2580", "/bps:abc", "/len:010"})},
      {"elog", args({"/elog:c:\\log.txt", "/exitevent:Done"})},
      {"read_run", args({"/read/silent/close/port:1/addr:16/alen:8", "config.vesk"})},
      {"write_run", args({"-write", "-aply", "-sbit:2", "-rs485:auto", "out.vesk"})},
      {"placement", args({"/x:10/y:-20/w:0x300/h:0400", "/autoread:on/autowrite:off/test"})},
      {"long_options", args({"--port=/dev/ttyUSB0", "--elog=/var/log/vesk.log", "--no-gui",
                             "--verbose", "--", "/tmp/a.vesk"})},
      {"get_set", args({"--get=A.Len", "--set=Addr:3=17", "--print=a.vesk", "--export-html"})},
      {"help_version", args({"--help", "--version", "/calibrate", "/ext"})},
  };
  for (const auto& [name, bytes] : cases) put("fuzz_cmdline", name, bytes);
}

// What a Telnet server with the COM-PORT-OPTION sends: its opening negotiation, the
// acknowledgements of the line settings, notifications, escaped data, a refusal.
void rfc2217_seeds() {
  const Bytes greeting = {0xFF, 0xFB, 0x03, 0xFF, 0xFD, 0x03, 0xFF, 0xFB, 0x01, 0xFF, 0xFE,
                          0x01, 0xFF, 0xFD, 0x00, 0xFF, 0xFB, 0x00, 0xFF, 0xFD, 0x2C};
  const Bytes acks = {0xFF, 0xFA, 0x2C, 0x65, 0x00, 0x01, 0xC2, 0x00, 0xFF, 0xF0, 0xFF,
                      0xFA, 0x2C, 0x66, 0x08, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x67, 0x01,
                      0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x68, 0x01, 0xFF, 0xF0};
  const Bytes notify = {0xFF, 0xFA, 0x2C, 0x6A, 0x08, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C,
                        0x6B, 0x30, 0xFF, 0xF0, 0xFF, 0xFA, 0x2C, 0x64, 0xFF, 0xF0};
  const Bytes reply = reply_line("dev", text_bytes("VESK"));
  auto seed = [](uint8_t split, uint8_t line, std::initializer_list<Bytes> parts) {
    Bytes out{split, line};
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  put("fuzz_rfc2217", "greeting", seed(0, 0, {greeting}));
  put("fuzz_rfc2217", "greeting_split", seed(0x5A, 0, {greeting, acks}));
  put("fuzz_rfc2217", "acks_asked", seed(0x13, 0x80, {acks}));
  put("fuzz_rfc2217", "notify", seed(0x21, 0, {notify}));
  put("fuzz_rfc2217", "reply_data", seed(0x07, 0, {reply, {0xFF, 0xFF, 0x0D, 0x00}}));
  put("fuzz_rfc2217", "refused",
      seed(0, 0, {{0xFF, 0xFE, 0x2C, 0xFF, 0xFC, 0x00, 0xFF, 0xFB, 0x18}}));
  put("fuzz_rfc2217", "command_in_sub",
      seed(0x3C, 0, {{0xFF, 0xFA, 0x2C, 0x65, 0x00, 0xFF, 0xFD, 0x2C}}));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus folder>\n", argv[0]);
    return 2;
  }
  fuzz::InstallSilentPresenter();
  corpus = argv[1];
  const std::string vesk_text = read_text(fs::path(VESK_SOURCE_DIR) / "data" / "vesk.tree.txt");
  if (vesk_text.empty()) {
    std::fprintf(stderr, "no data/vesk.tree.txt\n");
    return 1;
  }
  reply_seeds();
  description_seeds(vesk_text);
  vesk_seeds(vesk_text);
  json_seeds(vesk_text);
  cmdline_seeds();
  rfc2217_seeds();
  return 0;
}
