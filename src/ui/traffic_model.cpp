#include "ui/traffic_model.h"
#include "ui/ui_text.h"

#include <QBrush>
#include <QColor>
#include <algorithm>

namespace vesk::ui {
namespace {

QString Q(const std::string& s) {
  return QString::fromUtf8(s.data(), static_cast<int>(s.size()));
}

}  // namespace

TrafficModel::TrafficModel(size_t capacity, QObject* parent)
    : QAbstractTableModel(parent), slots_(std::max<size_t>(capacity, 1)) {}

bool TrafficModel::Failed(const link::LineEvent& e) {
  return e.Direction() == '!' || e.fault != link::LineFault::kNone;
}

std::string TrafficModel::Text(const link::LineEvent& e) {
  if (e.attempt <= 1) return e.text;
  const std::string attempt = tr("попытка %1").arg(e.attempt).toStdString();
  // A repeated request has no text of its own.
  return e.text.empty() ? attempt : e.text + " (" + attempt + ")";
}

void TrafficModel::Append(std::vector<link::LineEvent>& events) {
  if (events.empty()) return;
  const size_t capacity = slots_.size();
  if (events.size() > capacity)
    events.erase(events.begin(), events.end() - static_cast<ptrdiff_t>(capacity));
  const size_t overflow = count_ + events.size() > capacity ? count_ + events.size() - capacity : 0;
  if (overflow > 0) {
    beginRemoveRows({}, 0, static_cast<int>(overflow) - 1);
    first_ = (first_ + overflow) % capacity;
    count_ -= overflow;
    endRemoveRows();
  }
  const int first = static_cast<int>(count_);
  beginInsertRows({}, first, first + static_cast<int>(events.size()) - 1);
  for (link::LineEvent& e : events) slots_[(first_ + count_++) % capacity] = std::move(e);
  endInsertRows();
}

void TrafficModel::Clear() {
  beginResetModel();
  for (link::LineEvent& e : slots_) e = link::LineEvent{};
  first_ = count_ = 0;
  endResetModel();
}

int TrafficModel::rowCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : static_cast<int>(count_);
}

int TrafficModel::columnCount(const QModelIndex& parent) const {
  return parent.isValid() ? 0 : kColumns;
}

QVariant TrafficModel::data(const QModelIndex& index, int role) const {
  if (!index.isValid() || index.row() >= rowCount()) return {};
  const link::LineEvent& e = At(index.row());
  if (role == Qt::ForegroundRole) return Failed(e) ? QBrush(QColor(0xC0, 0, 0)) : QVariant();
  if (role != Qt::DisplayRole) return {};
  switch (index.column()) {
    case kTime:
      return QString::number(static_cast<double>(e.time_ns) / 1e9, 'f', 6);
    case kDirection:
      return e.Direction() == '>'   ? QStringLiteral("→")
             : e.Direction() == '<' ? QStringLiteral("←")
                                    : QStringLiteral("×");
    case kAddress:
      return e.address;
    case kName:
      return Q(e.name);
    case kIndex:
      return e.index >= 0 ? QVariant(e.index) : QVariant();
    case kText:
      return Q(Text(e));
    case kFrame:
      return Q(link::EscapeLineChars(e.chars));
    default:
      return {};
  }
}

QVariant TrafficModel::headerData(int section, Qt::Orientation orientation, int role) const {
  if (orientation != Qt::Horizontal || role != Qt::DisplayRole) return {};
  static const char* const kTitles[] = {
      QT_TRANSLATE_NOOP("vesk", "Время, с"), "",
      QT_TRANSLATE_NOOP("vesk", "Адрес"),    QT_TRANSLATE_NOOP("vesk", "Параметр"),
      QT_TRANSLATE_NOOP("vesk", "Индекс"),   QT_TRANSLATE_NOOP("vesk", "Значение или ошибка"),
      QT_TRANSLATE_NOOP("vesk", "Кадр")};
  return section >= 0 && section < kColumns ? UiText(kTitles[section]) : QVariant();
}

}  // namespace vesk::ui
