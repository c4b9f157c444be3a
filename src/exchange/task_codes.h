#pragma once
// The tasks of the exchange thread, named by the code the progress window receives.

#include <string_view>

namespace vesk::exchange {

inline constexpr int kTaskReadAll = 1;
inline constexpr int kTaskReadOne = 3;
inline constexpr int kTaskWriteAll = 4;
inline constexpr int kTaskWriteChanged = 5;
inline constexpr int kTaskCompare = 6;
inline constexpr int kTaskInitialise = 7;
inline constexpr int kTaskWriteOne = 9;
// The search of the line for devices (exchange/bus_scan.h).
inline constexpr int kTaskBusScan = 10;
// A short exchange the window asks for without a progress window of its own (the
// automatic read of an expanded branch): its progress goes to the status bar.
inline constexpr int kTaskBackground = 11;

// Selection modes of writing and counting: above 0 all, 0 changed only, below 0 initial
// values.
inline constexpr int kModeAll = 1;
inline constexpr int kModeChanged = 0;
inline constexpr int kModeInitial = -1;

inline constexpr const char* kProgressTitle = "Прибор <==> программа";
inline constexpr const char* kCancelButtonText = "Прервать!";

// The progress window's caption for a task code; empty for a code that names no task.
std::string_view TaskCaption(int code);

// True for the two codes that work on one parameter (3 and 9).
constexpr bool IsSingleParameterTask(int code) {
  return code == kTaskReadOne || code == kTaskWriteOne;
}

// The selection mode whose count a whole-tree or branch task shows: 1 for codes 1, 4
// and 6, 0 for code 5, -1 for code 7.
constexpr int CountModeOf(int code) {
  return code == kTaskWriteChanged ? kModeChanged
         : code == kTaskInitialise ? kModeInitial
                                   : kModeAll;
}

}  // namespace vesk::exchange
