#include "link/error_texts.h"
#include "platform/language.h"

#include "link/device_link.h"

namespace vesk::link {

namespace {

const char* KnownError(int code) {
  for (const DeviceErrorText& e : kDeviceErrorTexts)
    if (e.code == code) return platform::Tr(e.text);
  return nullptr;
}

}  // namespace

bool ErrorReplyText(const uint8_t* data, int count, std::string& text) {
  text.clear();
  if (count <= 0 || data == nullptr) return false;
  const int code = static_cast<int8_t>(data[0]);
  if (const char* known = KnownError(code)) {
    text = known;
  } else if (code >= 57 && code <= 63) {
    text = platform::Tr(kGroupAttributeLevelText) + std::to_string(code - 56);
  } else {
    text = platform::Tr(kUnknownErrorText) + std::to_string(code) + ")";
  }
  return true;
}

bool ProbeErrorText(ProbeResult result, std::string& text) {
  switch (result) {
    case ProbeResult::Timeout:
      text = platform::Tr(kTextTimeout);
      return true;
    case ProbeResult::LineError:
      text = platform::Tr(kProbeLineErrorText);
      return true;
    case ProbeResult::Checksum:
      text = platform::Tr(kProbeChecksumText);
      return true;
    case ProbeResult::Address:
      text = platform::Tr(kProbeAddressText);
      return true;
    case ProbeResult::Malformed:
      text = platform::Tr(kProbeMalformedText);
      return true;
    case ProbeResult::Answered:
    case ProbeResult::Refused:
      break;
  }
  text.clear();
  return false;
}

}  // namespace vesk::link
