#include "ui/exchange_status.h"

#include <QLabel>
#include <QPushButton>

namespace vesk::ui {

ExchangeStatus::ExchangeStatus(QObject* parent) : QObject(parent) {}

void ExchangeStatus::Attach(QLabel* label, QPushButton* stop) {
  label_ = label;
  stop_ = stop;
  if (stop_) connect(stop_, &QPushButton::clicked, this, [this] { Stop(); });
  Show({});
}

bool ExchangeStatus::Stop() {
  queue_.clear();
  if (!busy_) return false;
  if (cancel_) cancel_();
  return true;
}

void ExchangeStatus::Enqueue(std::function<bool()> start) {
  if (start) queue_.push_back(std::move(start));
  StartNext();
}

void ExchangeStatus::StartNext() {
  while (!busy_ && !queue_.empty()) {
    std::function<bool()> start = std::move(queue_.front());
    queue_.pop_front();
    start();
  }
}

bool ExchangeStatus::Run(int code, std::string_view caption, int range,
                         const std::function<void()>& opened) {
  (void)code;
  (void)range;
  text_ = next_text_.isEmpty() ? QString::fromUtf8(caption.data(), caption.size()) : next_text_;
  next_text_.clear();
  busy_ = true;
  Show(QString());
  opened();
  return true;
}

void ExchangeStatus::Log(const exchange::ProgressLine& line) {
  if (line.counter.empty()) return;
  QMetaObject::invokeMethod(
      this, [this, counter = QString::fromStdString(line.counter)] { Show(counter); },
      Qt::QueuedConnection);
}

void ExchangeStatus::TaskEnded() {
  QMetaObject::invokeMethod(
      this,
      [this] {
        busy_ = false;
        Show({});
        emit Ended();
        StartNext();
      },
      Qt::QueuedConnection);
}

void ExchangeStatus::Show(const QString& counter) {
  if (label_) {
    label_->setText(!busy_ ? QString()
                    : counter.isEmpty()
                        ? text_
                        : QString::fromUtf8(kExchangeStatusFormat).arg(text_, counter));
    label_->setVisible(busy_);
  }
  if (stop_) stop_->setVisible(busy_);
}

}  // namespace vesk::ui
