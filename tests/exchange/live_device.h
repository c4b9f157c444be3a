#pragma once
// What the polling, inputs-and-outputs and single-access tests share: vesk-sim as a
// process at the fastest line the port accepts, an exchange engine opened on it, the
// description's trees, and a presenter that records instead of showing.

#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "exchange/exchange_engine.h"
#include "link/port_settings.h"
#include "link/presenter.h"
#include "link/serial_port.h"
#include "model/description_container.h"
#include "model/description_loader.h"
#include "platform/settings_store.h"
#include "sim_process.h"

namespace vesk::polling_test {

using test::MakeTempFolder;
using test::RemoveFolder;
using test::SimProcess;
using test::TreeContainerPath;

inline std::string TreeContainer() {
  return TreeContainerPath();
}

// vesk-sim at 115200 Bd in a folder of its own, removed afterwards.
class LiveDevice {
 public:
  explicit LiveDevice(std::vector<std::string> options = {})
      : folder_(MakeTempFolder()), sim_(folder_, WithSpeed(std::move(options))) {}
  ~LiveDevice() {
    sim_.Stop();
    RemoveFolder(folder_);
  }
  LiveDevice(const LiveDevice&) = delete;
  LiveDevice& operator=(const LiveDevice&) = delete;

  bool Ok() const { return sim_.Ok(); }
  const std::string& Path() const { return sim_.path(); }
  SimProcess& sim() { return sim_; }
  void Stop() { sim_.Stop(); }

 private:
  static std::vector<std::string> WithSpeed(std::vector<std::string> options) {
    options.insert(options.begin(), {"--bps", "115200"});
    return options;
  }
  std::string folder_;
  SimProcess sim_;
};

// An exchange engine whose program settings live in a file of the test's own.
class TestEngine {
 public:
  TestEngine()
      : store_(std::string(::testing::TempDir()) + "vesk-exchange-" + std::to_string(::getpid()) +
               "-" + std::to_string(++Counter()) + ".ini") {
    exchange::EngineOptions options;
    options.store = &store_;
    options.list_ports = [] { return std::string(); };
    engine_ = std::make_unique<exchange::ExchangeEngine>(options);
  }
  ~TestEngine() {
    engine_.reset();
    ::unlink(store_.FilePath().c_str());
  }

  exchange::ExchangeEngine& operator*() { return *engine_; }
  exchange::ExchangeEngine* operator->() { return engine_.get(); }

  // Opens the port on `path` at 115200 Bd, address 16, 8-bit addresses, one write per frame.
  int Open(const std::string& path) {
    link::PortSettings s;
    s.port_name = path;
    s.baud_rate = 115200;
    engine_->program_line().FromPortSettings(s);
    engine_->port().set_converter_mode(link::kConverterAuto);
    return engine_->OpenPort(false);
  }

 private:
  static int& Counter() {
    static int n = 0;
    return n;
  }
  platform::SettingsStore store_;
  std::unique_ptr<exchange::ExchangeEngine> engine_;
};

// Keeps every message instead of showing it; answers No. Any thread.
class RecordingPresenter : public link::Presenter {
 public:
  RecordingPresenter() { link::SetPresenter(this); }
  ~RecordingPresenter() override { link::SetPresenter(nullptr); }

  struct Message {
    std::string text, caption;
    link::MsgIcon icon;
  };
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons) override {
    std::lock_guard lock(mutex_);
    messages_.push_back({std::string(text), std::string(caption), icon});
    return link::MsgAnswer::No;
  }
  std::vector<Message> messages() {
    std::lock_guard lock(mutex_);
    return messages_;
  }

 private:
  std::mutex mutex_;
  std::vector<Message> messages_;
};

// The description's trees, built once per test that asks.
inline std::unique_ptr<model::DescriptionTree> LoadTrees() {
  auto tree = std::make_unique<model::DescriptionTree>();
  if (model::LoadDescriptionFrom(TreeContainer(), model::kVeskDeviceKind, *tree) !=
      model::DescriptionStatus::Built)
    return nullptr;
  return tree;
}

}  // namespace vesk::polling_test
