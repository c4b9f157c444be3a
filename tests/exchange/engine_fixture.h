#pragma once
// What the engine tests share: a presenter and a progress window that record what they
// are shown, and an engine on the terminal of a running vesk-sim with the VESK tree.

#include <gtest/gtest.h>

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "exchange/exchange_engine.h"
#include "link/presenter.h"
#include "model/description_loader.h"
#include "platform/settings_store.h"
#include "sim_process.h"

namespace vesk::test {

struct ShownMessage {
  std::string text;
  std::string caption;
  link::MsgIcon icon;
};

// Records every message; questions get the answers queued in `answers`, then No.
class RecordingPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override;
  std::vector<ShownMessage> messages() const;
  void QueueAnswers(std::vector<link::MsgAnswer> answers);

 private:
  mutable std::mutex mutex_;
  std::vector<ShownMessage> messages_;
  std::vector<link::MsgAnswer> answers_;
};

// A progress window without a window: Run blocks until the task ended, every line is kept,
// and `on_line` (when set) sees each line on the exchange thread as it comes.
class RecordingProgress : public exchange::ProgressSink {
 public:
  bool Run(int code, std::string_view caption, int range,
           const std::function<void()>& opened) override;
  void Log(const exchange::ProgressLine& line) override;
  void ScrollToBottom() override {}
  bool Close() override;
  void TaskEnded() override;

  std::vector<exchange::ProgressLine> lines() const;
  std::vector<std::string> Texts() const;
  // Texts of the lines that begin with `prefix`.
  std::vector<std::string> TextsStarting(const std::string& prefix) const;
  void Clear();

  std::function<void(const exchange::ProgressLine&)> on_line;
  int runs = 0;
  int last_code = 0;
  int last_range = -1;
  std::string last_caption;
  int closes = 0;

 private:
  mutable std::mutex mutex_;
  std::condition_variable cv_;
  bool ended_ = false;
  std::vector<exchange::ProgressLine> lines_;
};

class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Starts the simulator (115200 baud unless `args` says otherwise) and points the engine
  // at it; opens the port and starts the exchange thread.
  void StartSim(std::vector<std::string> args = {});
  // Sets the program's port settings to the simulator's terminal at `baud` and opens it.
  void OpenPort(int baud = 115200);
  // Loads the VESK tree into `tree`.
  void LoadTree();
  // The parameter of the tree with this short name and linear index (-1: the first).
  link::Parameter* Find(const std::string& name, int index = -1);
  // Every parameter of the tree, depth first.
  std::vector<link::Parameter*> AllParameters();

  std::string folder;
  std::unique_ptr<platform::SettingsStore> store;
  std::unique_ptr<SimProcess> sim;
  std::unique_ptr<exchange::ExchangeEngine> engine;
  RecordingPresenter messages;
  RecordingProgress progress;
  model::DescriptionTree tree;
};

}  // namespace vesk::test
