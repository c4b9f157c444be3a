#include "ui/window_memory.h"

#include <QGuiApplication>
#include <QHeaderView>
#include <QMainWindow>
#include <QScreen>
#include <QStringList>
#include <QTreeView>
#include <string>

#include "platform/settings_store.h"

namespace vesk::ui {
namespace {

constexpr const char* kPlaceValue = "Place";
constexpr const char* kMaximisedValue = "Maximised";
constexpr const char* kColumnsValue = "ColumnWidths";
// A stored place must show at least this much of the window on some screen.
constexpr int kVisibleEdge = 80;

}  // namespace

void SaveWindowMemory(platform::SettingsStore& store, const QMainWindow& window,
                      const QTreeView& view) {
  const bool maximised = window.isMaximized() || window.isFullScreen();
  // The normal geometry is the frame's while maximised; otherwise the window's own.
  const QRect r = maximised ? window.normalGeometry() : window.geometry();
  if (r.isValid()) {
    const QString place =
        QStringLiteral("%1,%2,%3,%4").arg(r.x()).arg(r.y()).arg(r.width()).arg(r.height());
    store.WriteText(kWindowKey, kPlaceValue, place.toStdString());
  }
  store.WriteDword(kWindowKey, kMaximisedValue, maximised ? 1 : 0);
  QStringList widths;
  // The last column stretches to the window: its width is not the user's.
  for (int c = 0; c + 1 < view.header()->count(); ++c)
    widths << QString::number(view.columnWidth(c));
  store.WriteText(kWindowKey, kColumnsValue, widths.join(',').toStdString());
}

std::optional<WindowPlace> StoredWindowPlace(platform::SettingsStore& store) {
  const std::optional<std::string> text = store.ReadText(kWindowKey, kPlaceValue);
  if (!text) return std::nullopt;
  const QStringList parts = QString::fromStdString(*text).split(',');
  if (parts.size() != 4) return std::nullopt;
  int v[4];
  for (int i = 0; i < 4; ++i) {
    bool ok = false;
    v[i] = parts[i].trimmed().toInt(&ok);
    if (!ok) return std::nullopt;
  }
  WindowPlace place{QRect(v[0], v[1], v[2], v[3]), false};
  if (place.normal.width() < kVisibleEdge || place.normal.height() < kVisibleEdge)
    return std::nullopt;
  // A screen unplugged since: the window would open where nobody sees it.
  bool seen = false;
  for (const QScreen* s : QGuiApplication::screens())
    seen |= s->availableGeometry().intersected(place.normal).width() >= kVisibleEdge;
  if (!seen) return std::nullopt;
  place.maximised = store.ReadDword(kWindowKey, kMaximisedValue, 0) != 0;
  return place;
}

void RestoreColumnWidths(platform::SettingsStore& store, QTreeView& view) {
  const std::optional<std::string> text = store.ReadText(kWindowKey, kColumnsValue);
  if (!text) return;
  const QStringList parts = QString::fromStdString(*text).split(',');
  for (int c = 0; c < parts.size() && c + 1 < view.header()->count(); ++c) {
    bool ok = false;
    const int width = parts[c].trimmed().toInt(&ok);
    if (ok && width > 0) view.setColumnWidth(c, width);
  }
}

}  // namespace vesk::ui
