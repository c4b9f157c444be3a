#pragma once
// The document's task commands as the window thread runs them: whole tree, branch, one
// parameter, the compare with its report, and the two direct exchanges of the view and
// the editor (automatic read, the rule of immediate write).

#include "link/parameter.h"
#include "model/parameter_node.h"

namespace vesk::exchange {

class ExchangeEngine;

inline constexpr const char* kImpossibleCaption = "Операция невозможна";
inline constexpr const char* kNoTreeText = "Дерево не определено";
inline constexpr const char* kNoBranchText = "Ветвь не определена";
inline constexpr const char* kNothingSelectedText = "Ничего не выбрано!";
inline constexpr const char* kCompareCaption = "Результат сравнения";
// A task asked for while another exchange (a branch's automatic read) is on the wire.
inline constexpr const char* kLineBusyText =
    "Идет обмен с прибором. Дождитесь его окончания или прервите его (Esc).";

// Says that what the user asked for is refused because the line is busy (kLineBusyText).
void ShowLineBusy();

// Commands 139, 140, 256, 257 on the root (codes 1, 4, 5, 6). Without a root shows "Дерево
// не определено" and returns false; while another task runs shows kLineBusyText and
// returns false. Returns whether the progress window ran; the views are
// updated then.
bool RunTreeCommand(ExchangeEngine& engine, model::ParameterNode* root, int code);

// Commands 150 ... 153 on the selected node, which must be a description branch; else
// shows "Ветвь не определена" and returns false. Otherwise as RunTreeCommand.
bool RunBranchCommand(ExchangeEngine& engine, model::ParameterNode* branch, int code);

// Commands 32808 / 32809 (codes 3, 9) on the selected parameter; without one shows "Ничего
// не выбрано!" and returns false. Otherwise as RunTreeCommand.
bool RunParameterCommand(ExchangeEngine& engine, link::Parameter* parameter, int code);

// The compare of `target` (null allowed) followed by its report ("Результат сравнения").
// Returns whether the progress window ran (the report is shown only then).
bool CompareCommand(ExchangeEngine& engine, model::ParameterNode* target);

inline constexpr const char* kNothingComparedText =
    "Ни один параметр не удалось прочитать из прибора: сравнение не выполнено.";
// Followed by the number of parameters that were not compared (their read failed, or the
// compare stopped before them).
inline constexpr const char* kNotComparedText = "Не сравнено параметров: ";

// The report text of a finished compare: "Обнаружено %i отличий" ... or "Отличий не
// обнаружено".
std::string CompareReport(int diff_count, const std::string& diff_report);

// The report of a compare with the device: kNothingComparedText when not one parameter
// was compared; otherwise CompareReport, followed by kNotComparedText and their number when
// some were not.
std::string DeviceCompareReport(int diff_count, const std::string& diff_report, int compared,
                                int not_compared);

// Automatic read of one parameter, here on the calling thread (the view reads a branch
// through exchange/record_exchange.h): -3 without a parameter; -2 unless its value
// is "Нет данных", its note is empty and automatic read is on; else the read's result
// (time-outs not counted).
int AutomaticRead(ExchangeEngine& engine, link::Parameter* parameter);

// True when an edited parameter goes to the device at once: its value changed and
// immediate write is on. The write itself runs on the exchange thread
// (exchange/record_exchange.h StartRecordWrite).
bool WantsImmediateWrite(ExchangeEngine& engine, const link::Parameter& parameter);

}  // namespace vesk::exchange
