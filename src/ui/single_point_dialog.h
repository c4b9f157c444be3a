#pragma once
// CSinglePoint: the service dialog "Произвольный доступ к отдельным параметрам (Single
// Point)". The user names a parameter by its short name, picks read or write, an index and
// where it travels, and sees the protocol of one exchange. The logic is the core's
// SingleAccess; the dialog only carries its fields and shows what it returns.

#include <QDialog>
#include <memory>

#include "exchange/single_access.h"

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace vesk::app {
class CTRB6Doc;
}

namespace vesk::ui {

inline constexpr const char* kSinglePointTitle =
    "Произвольный доступ к отдельным параметрам (Single Point)";

class CSinglePoint : public QDialog {
  Q_OBJECT
 public:
  // Works on the document's description definitions and its device link; the document
  // must outlive the dialog.
  explicit CSinglePoint(app::CTRB6Doc& document, QWidget* parent = nullptr);
  ~CSinglePoint() override;

  // The dialog's fields as the controls hold them ("take the dialog's values").
  exchange::SingleAccessFields Fields() const;
  // "Выполнить!": one exchange, its protocol shown, the last line selected. Returns what
  // the core returned.
  exchange::ExecuteOutcome Execute();

  QComboBox* command() const { return command_; }
  QLineEdit* hash() const { return hash_; }
  QRadioButton* readButton() const { return read_; }
  QRadioButton* writeButton() const { return write_; }
  QCheckBox* indexUsed() const { return indexUsed_; }
  QLineEdit* index() const { return index_; }
  QRadioButton* inDataField() const { return inData_; }
  QRadioButton* inAddress() const { return inAddress_; }
  QComboBox* value() const { return value_; }
  QLabel* valueLabel() const { return valueLabel_; }
  QLineEdit* description() const { return description_; }
  QListWidget* protocol() const { return protocol_; }
  QPushButton* executeButton() const { return execute_; }

 private:
  void RefreshDescription();
  void ShowOperation();
  void ShowIndexPlacement();

  std::unique_ptr<exchange::SingleAccess> access_;
  QComboBox* command_;
  QLineEdit* hash_;
  QRadioButton* read_;
  QRadioButton* write_;
  QCheckBox* indexUsed_;
  QLineEdit* index_;
  QRadioButton* inData_;
  QRadioButton* inAddress_;
  QLabel* valueLabel_;
  QComboBox* value_;
  QLineEdit* description_;
  QListWidget* protocol_;
  QPushButton* execute_;
  QPushButton* exit_;
};

}  // namespace vesk::ui
