// The window never waits for the wire: while an expanded branch is read from a device that
// never answers, or a read-all goes to a network line whose far end is silent, the window's
// timer keeps its pace, and Escape ends the work soon, through real keys.

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QStatusBar>
#include <QTest>
#include <QTimer>
#include <QTreeWidgetItemIterator>
#include <algorithm>

#include "exchange/exchange_engine.h"
#include "ui/exchange_status.h"
#include "ui/main_window.h"
#include "ui/tree_list_view.h"
#include "window_fixture.h"

namespace vesk::ui::test {
namespace {

// Generous for a loaded machine under the sanitizers; the stall benchmark measures the
// real figures.
constexpr qint64 kStallLimitMs = 300;
constexpr qint64 kStopLimitMs = 600;
constexpr int kEscapeAfterMs = 300;

// A loopback port that takes connections (the kernel completes them) and never says a word.
class SilentListener {
 public:
  SilentListener() {
    fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in at{};
    at.sin_family = AF_INET;
    at.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof at;
    ::bind(fd_, reinterpret_cast<sockaddr*>(&at), len);
    ::listen(fd_, 8);
    ::getsockname(fd_, reinterpret_cast<sockaddr*>(&at), &len);
    address_ = "127.0.0.1:" + std::to_string(ntohs(at.sin_port));
  }
  ~SilentListener() { ::close(fd_); }
  const std::string& address() const { return address_; }

 private:
  int fd_ = -1;
  std::string address_;
};

struct SilentLine {
  const char* name;
  const char* scheme;  // empty: the simulator without answers, the branch expanded
};

class BackgroundExchange : public WindowTest, public ::testing::WithParamInterface<SilentLine> {};

TEST_P(BackgroundExchange, WindowKeepsItsPaceAndEscapeEndsTheWork) {
  const bool expand = *GetParam().scheme == '\0';
  SilentListener listener;
  std::unique_ptr<SimProcess> sim;
  if (expand) sim = std::make_unique<SimProcess>(dir, std::vector<std::string>{"--drop", "1"});
  MakeDocument(expand ? sim->pty() : GetParam().scheme + listener.address(), true);
  MainWindow& window = MakeWindow();
  // The progress window and the hand-over to the window, as the application sets them.
  exchange::ExchangeEngine& engine = doc->engine();
  engine.SetProgressSink(&fe->progress_window());
  exchange::EngineHooks hooks;
  hooks.send = [this](const std::function<void()>& work, platform::Event& stop) {
    return fe->SendUnlessStopped(work, stop);
  };
  engine.set_hooks(hooks);
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  ExchangeStatus& status = fe->exchange_status();
  TreeListView& view = *window.view();
  QTreeWidgetItem* branch = nullptr;
  for (QTreeWidgetItemIterator it(&view); *it && !branch; ++it)
    if ((*it)->text(0) == QStringLiteral("Сетевые параметры")) branch = *it;
  ASSERT_NE(branch, nullptr);
  view.collapseItem(branch);
  view.setCurrentItem(branch);
  view.setFocus();

  QElapsedTimer clock;
  qint64 last = 0, stall = 0, escaped_at = -1;
  QString shown;
  QTimer pace;
  QObject::connect(&pace, &QTimer::timeout, [&] {
    stall = std::max(stall, clock.elapsed() - last);
    last = clock.elapsed();
  });
  QTimer::singleShot(kEscapeAfterMs, [&] {
    const QLabel* label = window.statusBar()->findChild<QLabel*>(QStringLiteral("exchange"));
    shown = label ? label->text() : QString();
    QWidget* modal = QApplication::activeModalWidget();
    escaped_at = clock.elapsed();
    QTest::keyClick(modal ? modal : static_cast<QWidget*>(&view), Qt::Key_Escape);
  });
  clock.start();
  pace.start(10);
  if (expand)
    QTest::keyClick(&view, Qt::Key_Plus);
  else
    QTest::keyClick(&window, Qt::Key_R, Qt::AltModifier);  // "Прочитать все параметры"
  ASSERT_TRUE(QTest::qWaitFor([&] { return escaped_at >= 0 && !status.IsBusy(); }, 20000));
  ASSERT_TRUE(QTest::qWaitFor([&] { return !engine.TaskRunning(); }, 20000));
  const qint64 stop = clock.elapsed() - escaped_at;
  pace.stop();

  EXPECT_LT(stall - 10, kStallLimitMs);
  EXPECT_LT(stop, kStopLimitMs);
  EXPECT_TRUE(engine.TaskCancelled());
  if (expand) {
    EXPECT_EQ(shown, QString::fromUtf8(kBranchReadStatus).arg(branch->text(0)));
    EXPECT_EQ(view.PendingReads(), 0u);
  }
}

INSTANTIATE_TEST_SUITE_P(Silent, BackgroundExchange,
                         ::testing::Values(SilentLine{"ExpandedBranch", ""},
                                           SilentLine{"ReadAllOverTcp", "tcp://"},
                                           SilentLine{"ReadAllOverRfc2217", "rfc2217://"}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vesk::ui::test
