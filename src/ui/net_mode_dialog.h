#pragma once
// Dialog 142 "Перевод прибора на новый режим работы": the new network settings and the three
// choices of the network-mode change; the work of its OK button is the core's ApplyDialog.

#include <QDialog>

namespace vesk::exchange {
class ApplyDialog;
}

class QCheckBox;

namespace vesk::ui {

inline constexpr const char* kApplyTitle =
    QT_TRANSLATE_NOOP("vesk", "Перевод прибора на новый режим работы");
inline constexpr const char* kApplyChangeProgram =
    QT_TRANSLATE_NOOP("vesk", "Поменять сразу сетевые настройки программы");
inline constexpr const char* kApplyRepeat =
    QT_TRANSLATE_NOOP("vesk", "Поcлать широковещательную команду APLY");
inline constexpr const char* kApplyThreeTimes =
    QT_TRANSLATE_NOOP("vesk", "Поcлать посылку трижды (для надежности)");
inline constexpr const char* kApplyWarning = QT_TRANSLATE_NOOP(
    "vesk",
    "ВНИМАНИЕ: Данная операция приведет к переключению прибора на новые сетевые параметры. Это "
    "может привести к потере связи с прибором. Проверьте параметры связи:");
inline constexpr const char* kApplyGroup = QT_TRANSLATE_NOOP("vesk", "Новые параметры:");

class NetModeDialog : public QDialog {
  Q_OBJECT
 public:
  NetModeDialog(exchange::ApplyDialog& model, QWidget* parent = nullptr);

  QCheckBox* change_program() const { return change_program_; }
  QCheckBox* repeat() const { return repeat_; }
  QCheckBox* three_times() const { return three_times_; }

 public slots:
  // OK: the choices go to the model, which sends "APLY"; the dialog closes when it says so.
  void accept() override;

 private:
  exchange::ApplyDialog& model_;
  QCheckBox* change_program_;
  QCheckBox* repeat_;
  QCheckBox* three_times_;
};

}  // namespace vesk::ui
