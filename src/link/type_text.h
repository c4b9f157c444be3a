#pragma once
// The pieces of a type text: a format word and its options, or the items of a list, joined
// by ':'.

#include <string_view>
#include <vector>

namespace vesk::link {

// The pieces between ':', an empty one kept in its place (a list item's place is its
// device code); no pieces for an empty text. The views point into `type_text`.
std::vector<std::string_view> TypeTextPieces(std::string_view type_text);

}  // namespace vesk::link
