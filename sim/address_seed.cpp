#include "address_seed.h"

#include <cmath>

#include "platform/text.h"

namespace vesk::sim {

namespace {

bool IsNetworkName(const std::string& name) {
  for (const char* n : {"bPS", "LEn", "PrtY", "Sbit", "A.Len", "Addr", "Prot", "CHAr"})
    if (platform::Iequals(name, n)) return true;
  return false;
}

}  // namespace

void SeedByAddress(DeviceStore& store, int32_t address) {
  int32_t k = 0;
  for (StoredParameter& p : store.parameters()) {
    const ValueFormat& f = p.format;
    if (p.operative || !p.writable || IsNetworkName(p.name) || p.role != LiveRole::None ||
        (f.kind != ValueKind::Int && f.kind != ValueKind::Float))
      continue;
    double number = address + k++;
    if (f.HasLimits()) {
      double span = std::floor(f.maximum - f.minimum) + 1;
      if (span < 1) continue;
      number = std::ceil(f.minimum) + std::fmod(number, span);
      if (number > f.maximum) number = f.minimum;
    } else if (f.kind == ValueKind::Int && number > 65535) {
      number = std::fmod(number, 65536);
    }
    p.value = NumberValue(f, number);
  }
}

}  // namespace vesk::sim
