#pragma once
// The second stage of a description: the branch templates become the tree the program
// works with. Copies are numbered, names get their suffixes handled and their "№",
// parameters get linear indexes, and the definitions become parameter records.

#include <array>
#include <cstdint>
#include <memory>

#include "link/parameter.h"
#include "model/description_branch.h"
#include "model/parameter_definition.h"

namespace vesk::model {

// Caption of messages that name no caption of their own.
inline constexpr const char* kProgramTitle = "Конфигуратор ВЕСК";

inline constexpr const char* kAdditionalOutputState = "Состояние_дополнительного_ВЭ";
inline constexpr const char* kOutputParameterName = "POUt";

// The "POUt" parameters by linear index. The table points into the trees built with it
// and is valid while they live; DescriptionTree::Clear empties it with them.
inline constexpr int kOutputSlots = 10;
using OutputTable = std::array<link::Parameter*, kOutputSlots>;

// Builds one branch and, first, its children (indexed flag F, base index S): sets the
// linear index and the copy number, finishes the name, creates the parameter records from
// the definitions and enters "POUt" records into `outputs` (an index outside 0...9 is not
// entered). Returns the branch's index span (the largest span of the children, at least 1,
// times the copy count). A record that cannot be allocated is skipped after the message
// "Серьезная нехватка памяти". Index arithmetic saturates at the int32 limits.
int32_t BuildBranch(DescriptionBranch& branch, bool indexed, int32_t base, OutputTable& outputs);

// Creates the record of one definition as the build does, without the linear index:
// caption and initial value with blanks for "_", decimal places cut from "int:N",
// "CLK_frm:N", "float:N" (N 1...3), and a leading "!" removed (the record then not
// writable). Throws std::bad_alloc only.
std::unique_ptr<link::Parameter> MakeParameter(const ParameterDefinition& definition);

// Prepares every parameter of the pollers tree for polling: the linear index becomes the
// polling index and the parameter is no longer indexed (its index travels in the address).
void PrepareForPolling(DescriptionBranch& tree);

}  // namespace vesk::model
