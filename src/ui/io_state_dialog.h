#pragma once
// IoStateDialog: the window "Состояние входов и выходов" over the core's IoState: twelve
// input indicators, eight output indicators, the counters list with its "Сброс" buttons and
// the outputs list, values edited in place, "Вкл/Выкл все ВЭ", and the close handshake with
// the model's worker. The user's writes are queued to the worker, so that the window never
// waits for the wire. The worker's changes come from its thread and are queued to the
// window's, which draws a fresh snapshot and shows the boxes of failed writes.

#include <QDialog>
#include <QFrame>
#include <array>
#include <atomic>
#include <memory>
#include <optional>

#include "exchange/io_state.h"

class QPushButton;
class QTableWidget;

namespace vesk::app {
class Document;
}

namespace vesk::ui {

inline constexpr const char* kStateInOutTitle =
    QT_TRANSLATE_NOOP("vesk", "Состояние входов и выходов");

// One small indicator: its number as caption, drawn in the look of its state text.
class IoIndicator : public QFrame {
  Q_OBJECT
 public:
  IoIndicator(const QString& caption, QWidget* parent);
  // Redraws only when the state or the look changed.
  void SetState(const QString& state, exchange::IndicatorLook look);
  const QString& state() const { return state_; }
  exchange::IndicatorLook look() const { return look_; }

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  QString caption_;
  QString state_;
  exchange::IndicatorLook look_ = exchange::IndicatorLook::Plain;
};

class IoStateDialog : public QDialog {
  Q_OBJECT
 public:
  // Reads through `access` when given (tests), else through the document's engine. The
  // worker starts when the window is shown.
  explicit IoStateDialog(app::Document& document, QWidget* parent = nullptr,
                         exchange::IoAccess* access = nullptr);
  ~IoStateDialog() override;

  IoIndicator* Input(int i) const { return inputs_[i]; }
  IoIndicator* Output(int i) const { return outputs_[i]; }
  QTableWidget* counters() const { return counters_; }
  QTableWidget* output_rows() const { return output_rows_; }
  // The "Сброс" button of a counter row, or nullptr.
  QPushButton* ResetButton(int row) const;
  QPushButton* AllOutputsButton() const { return all_outputs_; }
  QPushButton* CloseButton() const { return close_; }
  exchange::IoState& state() { return *state_; }

  // Draws the model's current snapshot.
  void Redraw();

 public slots:
  // "Закрыть" and Escape: closes once the worker has ended, else asks it to stop and
  // closes when it says it has.
  void reject() override;

 protected:
  void showEvent(QShowEvent* event) override;
  void closeEvent(QCloseEvent* event) override;

 private slots:
  // Queued by OnChange from the worker's thread.
  void RedrawQueued();
  // Shows the failed writes the model kept, one box each.
  void ShowWriteFailures();

 private:
  void OnChange(const exchange::IoChange& change);
  void BuildLists();
  void FillList(QTableWidget* table, const std::vector<exchange::IoRow>& rows, bool resets);
  void DrawList(QTableWidget* table, const std::vector<exchange::IoRow>& rows);
  void BeginEdit(exchange::IoList list, int row);
  void CommitEdit(exchange::IoList list, int row, const QString& text);
  void CancelOpenEdit();

  std::unique_ptr<exchange::IoAccess> own_access_;
  std::unique_ptr<exchange::IoState> state_;
  std::array<IoIndicator*, exchange::kInputCount> inputs_{};
  std::array<IoIndicator*, exchange::kOutputIndicatorCount> outputs_{};
  QTableWidget* counters_ = nullptr;
  QTableWidget* output_rows_ = nullptr;
  QPushButton* all_outputs_ = nullptr;
  QPushButton* close_ = nullptr;
  std::atomic<bool> redraw_queued_{false};
  bool started_ = false;
  bool showing_failures_ = false;
  // The row whose value is being edited (its refresh is held back meanwhile).
  std::optional<std::pair<exchange::IoList, int>> editing_;
};

}  // namespace vesk::ui
