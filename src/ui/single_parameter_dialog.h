#pragma once
// SingleParameterDialog: the service dialog "Произвольный доступ к отдельным параметрам (Single
// Point)". The user names a parameter by its short name, picks read or write, an index and
// where it travels, and sees the protocol of one exchange. The logic is the core's
// SingleAccess; the dialog only carries its fields and shows what it returns.

#include <QDialog>
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

class SingleParameterDialog : public QDialog {
  Q_OBJECT
 public:
  // Works on the document's description definitions and its device link; the document
  // must outlive the dialog.
  explicit SingleParameterDialog(app::Document& document, QWidget* parent = nullptr);
  ~SingleParameterDialog() override;

  // The dialog's fields as the controls hold them ("take the dialog's values").
  exchange::SingleAccessFields Fields() const;
  // "Выполнить!": one exchange, its protocol shown, the last line selected. Returns what
  // the core returned.
  exchange::ExecuteOutcome Execute();

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

  std::unique_ptr<exchange::SingleAccess> access_;
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
