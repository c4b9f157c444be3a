#pragma once
// The rows of the traffic panel: the last line events in a bounded ring, so that a day of
// polling keeps the memory flat. The ring's slots are made at once: memory does not creep up
// while it fills, and a full ring drops its oldest rows without moving the others.

#include <QAbstractTableModel>
#include <string>
#include <vector>

#include "link/line_event.h"

namespace vesk::ui {

inline constexpr size_t kTrafficRing = 100000;

class TrafficModel : public QAbstractTableModel {
  Q_OBJECT
 public:
  enum Column { kTime, kDirection, kAddress, kName, kIndex, kText, kFrame, kColumns };

  explicit TrafficModel(size_t capacity = kTrafficRing, QObject* parent = nullptr);

  // Appends the events; the oldest give way once the ring is full.
  void Append(std::vector<link::LineEvent>& events);
  void Clear();
  const link::LineEvent& At(int row) const {
    return slots_[(first_ + static_cast<size_t>(row)) % slots_.size()];
  }
  static bool Failed(const link::LineEvent& e);
  // The value or the reason as the panel shows it, with the "(попытка N)" of a retry.
  static std::string Text(const link::LineEvent& e);

  int rowCount(const QModelIndex& parent = {}) const override;
  int columnCount(const QModelIndex& parent = {}) const override;
  QVariant data(const QModelIndex& index, int role) const override;
  QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

 private:
  std::vector<link::LineEvent> slots_;
  size_t first_ = 0;  // the slot of row 0
  size_t count_ = 0;
};

}  // namespace vesk::ui
