#pragma once
// A document with the window over it, its settings in a folder of the test's own, and
// every message captured instead of shown.

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>
#include <string>
#include <vector>

#include "app/document.h"
#include "link/presenter.h"
#include "platform/settings_store.h"
#include "ui/qt_front_end.h"

namespace vesk::ui::test {

struct Shown {
  std::string text, caption;
  link::MsgIcon icon;
};

class CapturingPresenter : public link::Presenter {
 public:
  link::MsgAnswer ShowMessage(std::string_view text, std::string_view caption, link::MsgIcon icon,
                              link::MsgButtons buttons) override {
    shown.push_back({std::string(text), std::string(caption), icon});
    return buttons == link::MsgButtons::Ok ? link::MsgAnswer::Ok : answer;
  }
  std::vector<Shown> shown;
  // The answer to every question.
  link::MsgAnswer answer = link::MsgAnswer::No;
};

// A folder under /tmp removed with its contents.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  std::string operator/(const std::string& name) const { return path_ + "/" + name; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// The simulator on a pseudo-terminal at 115200 bit/s, with `extra` arguments; ended when
// destroyed.
class SimProcess {
 public:
  explicit SimProcess(const ScratchDir& dir, const std::vector<std::string>& extra = {});
  ~SimProcess();
  const std::string& pty() const { return pty_; }

 private:
  int pid_ = -1;
  std::string pty_;
};

class WindowTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;
  // The document; `pty` empty: a silent start that opens no port.
  app::Document& MakeDocument(const std::string& pty = {});
  // The main window over the document made.
  MainWindow& MakeWindow();

  ScratchDir dir;
  std::unique_ptr<platform::SettingsStore> store;
  CapturingPresenter captured;
  std::unique_ptr<QtFrontEnd> fe;
  std::unique_ptr<app::Document> doc;
};

}  // namespace vesk::ui::test
