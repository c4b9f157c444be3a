#pragma once
// The converters that fuzz_reply decodes reply data with, chosen by the input's first
// byte; the seed generator picks them by the same index.

#include <cstddef>

namespace vesk::fuzz {

struct ConverterCase {
  const char* name;
  const char* type;
};

// Every reserved name and every format word the converter knows, with case variants and
// choice lists, so that no branch of the decoding is left out.
constexpr ConverterCase kConverters[] = {
    {"APLY", ""},        {"dev", "string"},   {"ver", "string"},   {"exit", ""},
    {"bPS", "int"},      {"LEn", "int"},      {"PrtY", "int"},     {"Sbit", "int"},
    {"A.Len", "int"},    {"Addr", "int"},     {"r.oe", "float:3"}, {"Wt.1", "float"},
    {"Wt.2", "float:2"}, {"Cnt", "int"},      {"Cnt", "int:1"},    {"Alr.t", "CLK_frm"},
    {"tHP", "CLK_frm"},  {"Tm", "CLK_frm:2"}, {"Txt", "string"},   {"Txt", "ASCI"},
    {"CHAr*", "name"},   {"Nm", "name"},      {"Cmd", "void"},     {"Yn", "Нет:Да"},
    {"Md", "A:B:C:D_E"}, {"Em", ""},          {"SoUr", "int"},     {"CLB.K", "int"},
    {"aply", "int"},     {"EXIT", "int"},     {"Txt", "STRING"},   {"Fl", "float:"},
    {"Ch", "::"},        {"Ch", ":"},         {"Dv", "Void"},      {"Un", "unknown"},
};
constexpr size_t kConverterCount = sizeof kConverters / sizeof kConverters[0];

}  // namespace vesk::fuzz
