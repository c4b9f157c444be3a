#pragma once
// The device commands of the menus (link check, INIT, the network-mode change) as the
// window starts them: the question or dialog on the window's thread, the exchanges on the
// exchange thread (FrontEnd::RunInBackground), the report back on the window's thread.

#include "model/parameter_node.h"

namespace vesk::exchange {
class ExchangeEngine;
}

namespace vesk::app {

class FrontEnd;

// What the status bar says while each command is on the wire.
inline constexpr const char* kLinkCheckStatus = "Проверка связи с прибором";
inline constexpr const char* kInitStatus = "Команда INIT";
inline constexpr const char* kApplyStatus = "Перевод прибора на новый режим работы";

// Command 138: reads "dev" and "ver", then shows what it found.
void StartLinkCheck(FrontEnd& front_end, exchange::ExchangeEngine& engine);
// Command 301: the INIT question; on Yes sends "INIT" and waits for the restart, then
// reports a failure.
void StartInit(FrontEnd& front_end, exchange::ExchangeEngine& engine);
// Command 265: dialog 142; after OK sends "APLY" and moves the program to the device's new
// settings, then reports a failure and updates the views.
void StartNetworkModeChange(FrontEnd& front_end, exchange::ExchangeEngine& engine,
                            model::ParameterNode* device_line);

}  // namespace vesk::app
