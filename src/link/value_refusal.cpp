#include "link/value_refusal.h"

#include <cstdio>

#include "platform/language.h"
#include "platform/text.h"

namespace vesk::link {
namespace {

// Formats with a C format of two doubles around `head` (the message's own "%s ... %f").
std::string FormatRange(const std::string& head, double minimum, double maximum) {
  char tail[160];
  std::snprintf(tail, sizeof tail, platform::Tr(" должно быть больше %f и меньше %f)\n"), minimum,
                maximum);
  return head + tail;
}

}  // namespace

std::string ValueRefusedText(const Parameter& parameter, std::string_view new_text) {
  std::string text = platform::Tr("Параметеру '") + parameter.short_name + "' (" +
                     parameter.caption + platform::Tr(")\nне может быть присвоено значение '") +
                     std::string(new_text) + "'.\n ";
  if (platform::Iequals(parameter.short_name, kNetworkNameParameter))
    text += platform::Tr("(Значение не удовлетворяет требованиям к формату сетевого имени");
  else
    text += platform::Tr("(Значение этого параметра должно быть ");
  if (parameter.minimum != 0 || parameter.maximum != 0)
    text = FormatRange(text + parameter.type_text + platform::Tr(" и\n"), parameter.minimum,
                       parameter.maximum);
  return text;
}

}  // namespace vesk::link
