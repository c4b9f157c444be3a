#pragma once
// One device parameter as the configurator holds it. It lives in link/ because it is
// the unit every exchange reads and writes; the tree nodes in model/ own the records.

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "link/value_codec.h"

namespace vesk::link {

inline constexpr const char* kNoData = "Нет данных";
inline constexpr const char* kUnknownCaption = "<неизвестный параметр>";
inline constexpr const char* kCompareNotePrefix = "Знач-е в приборе:";
// The same for a comparison with another configuration file.
inline constexpr const char* kFileCompareNotePrefix = "Знач-е в файле:";
// The record that holds the whole network name (the device keeps it in "CHAr" 0 ... 3).
inline constexpr const char* kNetworkNameParameter = "CHAr*";

struct Rgb {
  int r = 0, g = 0, b = 0;
  bool operator==(const Rgb&) const = default;
};

class Parameter : public ValueCodec {
 public:
  explicit Parameter(std::string short_name);
  Parameter& operator=(const Parameter&) = delete;

  // A copy of every field but `polled`: the copy an exchange works on is nobody's polled
  // record.
  std::unique_ptr<Parameter> Clone() const;

  // Returns true when the text is accepted (value replaced by the text or its normal
  // form, value_changed set); false leaves the record unchanged.
  virtual bool SetValueFromText(std::string_view text);
  // False when the type is a choice list and `text` is none of its items exactly as
  // ChoiceItems gives them (a value from outside, which no list offered); true otherwise.
  bool IsChoiceOf(std::string_view text) const;

  // Value "Нет данных", note empty, editable, owned by the user, no changed flags.
  void Reset();

  // Records a difference found by a comparison: the note becomes `prefix`
  // (kCompareNotePrefix, or kFileCompareNotePrefix against a file) and the value and
  // attributes of `other`, as in "Знач-е в приборе: '5',Ред-ый,польз.", in the language
  // spoken; `shown_value` is other's value as a person reads it.
  void SetCompareNote(std::string_view prefix, std::string_view shown_value,
                      const Parameter& other);
  // True when the note records a comparison difference (with the device or with a file)
  // rather than a failure.
  bool HasCompareNote() const;

  Rgb DisplayColour() const;
  // The caption; for a polled parameter with show_indexes, ", name:polling index" follows.
  std::string TreeText(bool show_indexes) const;
  // The short name; for an indexed parameter with show_indexes, ":linear index" follows.
  std::string NameColumn(bool show_indexes) const;
  std::string EditableText() const;  // empty when the parameter has no attributes
  std::string OwnerText() const;     // empty when the parameter has no attributes
  int Icon() const;                  // image number 27, 28 or 30

  bool IsPolled() const { return polled; }
  bool AnyChanged() const { return value_changed || edit_changed || owner_changed; }
  // Attributes as one byte on the wire: bit 0 editable, bit 1 clear = owned by firm.
  uint8_t AttributeByte() const;
  void SetAttributeByte(uint8_t attributes);

  std::string caption = kUnknownCaption;
  bool indexed = false;
  bool value_changed = false;
  bool edit_changed = false;
  bool owner_changed = false;
  std::string note;
  bool writable = true;
  bool editable = true;
  bool owned_by_firm = false;
  uint8_t has_attributes = 0;
  int32_t poll_index = 0;
  int32_t linear_index = 0;
  int32_t mark = 0;
  int32_t poll_period = 1000;
  // An operative parameter taken on by polling (the pollers tree's records): its value is
  // asked for alone, and its poll index travels in the address.
  bool polled = false;
  std::string initial_value;

 private:
  // Only Clone copies, and it drops what must stay unique to one record.
  Parameter(const Parameter&) = default;
};

}  // namespace vesk::link
