#pragma once
// Whatever must reach a person goes through the presenter that the front end installs:
// the Qt window shows real dialogs, the headless run writes to stderr and takes the
// default answer. The core never shows anything itself.

#include <string>
#include <string_view>

namespace vesk::link {

enum class MsgIcon { None, Information, Warning, Error, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel };
enum class MsgAnswer { Ok, Cancel, Yes, No };

class Presenter {
 public:
  virtual ~Presenter() = default;
  // Shows a message box and returns the answer. May be called from any thread; the
  // implementation runs it on the thread that owns the windows and waits for it.
  virtual MsgAnswer ShowMessage(std::string_view text, std::string_view caption, MsgIcon icon,
                                MsgButtons buttons = MsgButtons::Ok) = 0;
};

// The headless presenter: messages to stderr (nothing when silent), questions get their
// default answer (No, or Cancel where there is no No).
class ConsolePresenter : public Presenter {
 public:
  explicit ConsolePresenter(bool silent = false) : silent_(silent) {}
  MsgAnswer ShowMessage(std::string_view text, std::string_view caption, MsgIcon icon,
                        MsgButtons buttons) override;
  void set_silent(bool silent) { silent_ = silent; }

 private:
  bool silent_;
};

// The process-wide presenter; a ConsolePresenter until a front end installs its own.
Presenter& presenter();
void SetPresenter(Presenter* p);  // nullptr restores the console presenter

}  // namespace vesk::link
