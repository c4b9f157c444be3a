#pragma once
// A presenter that shows nothing and gives every question its default answer, so that a
// fuzz run is not drowned in the messages that bad input rightly produces.

#include <cstdio>
#include <cstdlib>
#include <string_view>

#include "link/presenter.h"

namespace vesk::fuzz {

class SilentPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view, std::string_view, link::MsgIcon,
                              link::MsgButtons buttons) override {
    ++shown;
    switch (buttons) {
      case link::MsgButtons::Ok:
        return link::MsgAnswer::Ok;
      case link::MsgButtons::OkCancel:
        return link::MsgAnswer::Cancel;
      default:
        return link::MsgAnswer::No;
    }
  }
  unsigned long shown = 0;
};

// Installs one silent presenter for the whole process; call from LLVMFuzzerInitialize.
inline SilentPresenter& InstallSilentPresenter() {
  static SilentPresenter silent;
  link::SetPresenter(&silent);
  return silent;
}

// The checks a target makes on what the code under test produced are not themselves under
// test: left uninstrumented, they neither feed the fuzzer false coverage nor slow it down.
#define VESK_FUZZ_UNTRACED __attribute__((no_sanitize("coverage")))

// True when `text` is well-formed UTF-8 (no overlong forms, no surrogates, at most
// U+10FFFF): every text inside the program must be.
VESK_FUZZ_UNTRACED inline bool ValidUtf8(std::string_view text) {
  size_t i = 0;
  while (i < text.size()) {
    const auto c = static_cast<unsigned char>(text[i]);
    size_t extra;
    unsigned cp;
    if (c < 0x80) {
      ++i;
      continue;
    } else if (c >= 0xC2 && c <= 0xDF) {
      extra = 1, cp = c & 0x1F;
    } else if (c >= 0xE0 && c <= 0xEF) {
      extra = 2, cp = c & 0x0F;
    } else if (c >= 0xF0 && c <= 0xF4) {
      extra = 3, cp = c & 0x07;
    } else {
      return false;
    }
    if (text.size() - i <= extra) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const auto d = static_cast<unsigned char>(text[i + k]);
      if ((d & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (d & 0x3F);
    }
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) ||
        (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += extra + 1;
  }
  return true;
}

}  // namespace vesk::fuzz

// A failed property is a finding: abort so that libFuzzer keeps the input.
#define VESK_FUZZ_CHECK(cond)                                                                \
  do {                                                                                       \
    if (!(cond)) {                                                                           \
      std::fprintf(stderr, "fuzz property failed: %s (%s:%d)\n", #cond, __FILE__, __LINE__); \
      std::abort();                                                                          \
    }                                                                                        \
  } while (0)
