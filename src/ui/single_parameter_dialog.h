#pragma once
// SingleParameterDialog: the service dialog "Произвольный доступ к отдельным параметрам (Single
// Point)". The user names a parameter by its short name, picks read or write, an index and
// where it travels, and sees the protocol of one exchange. The logic is the core's
// SingleAccess; the dialog only carries its fields and shows what it returns. The exchange
// runs on the exchange thread: the dialog keeps answering, and Escape ends the exchange.

#include <QDialog>
#include <atomic>
#include <memory>

#include "exchange/single_access.h"

class QCheckBox;
class QComboBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vesk::app {
class Document;
}

namespace vesk::ui {

inline constexpr const char* kSinglePointTitle =
    QT_TRANSLATE_NOOP("vesk", "Произвольный доступ к отдельным параметрам (Single Point)");
// The status bar while the dialog's exchange is on the wire (the command).
inline constexpr const char* kSinglePointStatus = QT_TRANSLATE_NOOP("vesk", "Команда «%1»");

class SingleParameterDialog : public QDialog {
  Q_OBJECT
 public:
  // Works on the document's description definitions and its device link; the document
  // must outlive the dialog.
  explicit SingleParameterDialog(app::Document& document, QWidget* parent = nullptr);
  ~SingleParameterDialog() override;

  // The dialog's fields as the controls hold them ("take the dialog's values").
  exchange::SingleAccessFields Fields() const;
  // "Выполнить!": hands one exchange to the exchange thread; "Выполнить!" is disabled until
  // its protocol is shown, the last line selected.
  void Execute();
  // True while the exchange is on its way.
  bool IsRunning() const { return running_; }
  // Escape and "Выход": a running exchange is ended first.
  void reject() override;

  QComboBox* command() const { return command_; }
  QLineEdit* hash() const { return hash_; }
  QRadioButton* ReadButton() const { return read_; }
  QRadioButton* WriteButton() const { return write_; }
  QCheckBox* index_used() const { return index_used_; }
  QLineEdit* index() const { return index_; }
  QRadioButton* InDataField() const { return in_data_; }
  QRadioButton* in_address() const { return in_address_; }
  QComboBox* value() const { return value_; }
  QLabel* value_label() const { return value_label_; }
  QLineEdit* description() const { return description_; }
  QListWidget* protocol() const { return protocol_; }
  QPushButton* ExecuteButton() const { return execute_; }

 private:
  void BuildCommandRow(QGridLayout& grid);
  void BuildOperationBox(QGridLayout& grid);
  void BuildIndexBox(QGridLayout& grid);
  void BuildValueAndProtocol(QGridLayout& grid);
  void BuildButtons(QGridLayout& grid);
  void ConnectControls();
  void RefreshDescription();
  void ShowOperation();
  void ShowIndexPlacement();
  void ShowOutcome(const exchange::ExecuteOutcome& out);

  app::Document& doc_;
  // Shared with a running exchange, which may outlast the dialog.
  std::shared_ptr<exchange::SingleAccess> access_;
  // One "Выполнить!" on its way, shared with its job: whether it has reached the wire, or
  // was given up before it did.
  struct Run {
    static constexpr int kWaiting = 0, kStarted = 1, kAbandoned = 2;
    std::atomic<int> state{kWaiting};
    exchange::ExecuteOutcome out;
  };
  std::shared_ptr<Run> run_;
  bool running_ = false;
  QComboBox* command_;
  QLineEdit* hash_;
  QRadioButton* read_;
  QRadioButton* write_;
  QCheckBox* index_used_;
  QLineEdit* index_;
  QRadioButton* in_data_;
  QRadioButton* in_address_;
  QLabel* value_label_;
  QComboBox* value_;
  QLineEdit* description_;
  QListWidget* protocol_;
  QPushButton* execute_;
  QPushButton* exit_;
};

}  // namespace vesk::ui
