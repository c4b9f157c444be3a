#include "link/port_settings.h"

namespace vesk::link {

int32_t parity_code_from_text(std::string_view, int32_t current) {
  return current;
}
bool apply_port_setting(PortSettings&, std::string_view, std::string_view) {
  return false;
}

}  // namespace vesk::link
