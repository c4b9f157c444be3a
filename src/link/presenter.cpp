#include "link/presenter.h"

#include <atomic>
#include <cstdio>
#include <mutex>

namespace vesk::link {

namespace {
std::atomic<Presenter*> g_presenter{nullptr};
std::mutex g_console_mutex;
}  // namespace

MsgAnswer ConsolePresenter::ShowMessage(std::string_view text, std::string_view caption, MsgIcon,
                                        MsgButtons buttons) {
  if (!silent_) {
    std::lock_guard lock(g_console_mutex);
    std::fprintf(stderr, "%.*s: %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
  }
  switch (buttons) {
    case MsgButtons::Ok:
      return MsgAnswer::Ok;
    case MsgButtons::OkCancel:
      return MsgAnswer::Cancel;
    default:
      return MsgAnswer::No;
  }
}

Presenter& presenter() {
  static ConsolePresenter console;
  Presenter* p = g_presenter.load();
  return p ? *p : console;
}

void SetPresenter(Presenter* p) {
  g_presenter.store(p);
}

}  // namespace vesk::link
