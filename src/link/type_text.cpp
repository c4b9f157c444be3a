#include "link/type_text.h"

namespace vesk::link {

std::vector<std::string_view> TypeTextPieces(std::string_view type_text) {
  std::vector<std::string_view> pieces;
  if (type_text.empty()) return pieces;
  for (;;) {
    const size_t colon = type_text.find(':');
    pieces.push_back(type_text.substr(0, colon));
    if (colon == std::string_view::npos) break;
    type_text.remove_prefix(colon + 1);
  }
  return pieces;
}

}  // namespace vesk::link
