#pragma once
// Running work on the thread that owns the windows, from whichever thread asks.

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <functional>

namespace vesk::ui {

// True on the thread of the application object (the windows' thread), or when there is
// no application object at all.
inline bool OnGuiThread() {
  QCoreApplication* app = QCoreApplication::instance();
  return !app || QThread::currentThread() == app->thread();
}

// Runs `work` on the windows' thread and returns when it is done. On that thread itself it
// runs at once; from another thread it waits until the windows' loop has run it.
inline void RunOnGuiAndWait(const std::function<void()>& work) {
  if (OnGuiThread()) {
    work();
    return;
  }
  QMetaObject::invokeMethod(QCoreApplication::instance(), work, Qt::BlockingQueuedConnection);
}

// Queues `work` for the windows' thread; returns at once.
inline void PostToGui(std::function<void()> work) {
  QCoreApplication* app = QCoreApplication::instance();
  if (!app) return;
  QMetaObject::invokeMethod(app, std::move(work), Qt::QueuedConnection);
}

}  // namespace vesk::ui
