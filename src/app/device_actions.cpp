#include "app/device_actions.h"

#include <memory>
#include <string>

#include "app/front_end.h"
#include "exchange/device_commands.h"
#include "exchange/exchange_engine.h"
#include "platform/language.h"

namespace vesk::app {

void StartLinkCheck(FrontEnd& front_end, exchange::ExchangeEngine& engine) {
  auto check = std::make_shared<exchange::LinkCheck>();
  front_end.RunInBackground(
      engine, platform::Tr(kLinkCheckStatus),
      [&engine, check] { *check = exchange::RunLinkCheck(engine); },
      [check] { exchange::ShowLinkCheck(*check); });
}

void StartInit(FrontEnd& front_end, exchange::ExchangeEngine& engine) {
  if (!exchange::AskInit()) return;
  auto failure = std::make_shared<std::string>();
  front_end.RunInBackground(
      engine, platform::Tr(kInitStatus),
      [&engine, failure] { exchange::SendInit(engine, *failure); },
      [failure] {
        if (!failure->empty()) exchange::ShowInitFailure(*failure);
      });
}

void StartNetworkModeChange(FrontEnd& front_end, exchange::ExchangeEngine& engine,
                            model::ParameterNode* device_line) {
  auto dialog = std::make_shared<exchange::ApplyDialog>(&engine, device_line);
  if (!front_end.RunApplyDialog(*dialog)) {
    engine.RefreshViews();
    return;
  }
  front_end.RunInBackground(
      engine, platform::Tr(kApplyStatus),
      [&engine, dialog] { exchange::ApplyNetworkMode(engine, *dialog); },
      [&engine, dialog] {
        dialog->ShowError();
        engine.RefreshViews();
      });
}

}  // namespace vesk::app
