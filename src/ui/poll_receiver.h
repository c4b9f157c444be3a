#pragma once
// The view's side of polling: takes each result on the poller thread and queues it to the
// windows' thread, tagged with the session (the filling of the tree) it belongs to, so that
// a result of an earlier tree is dropped there instead of reaching a record that is gone.
// Nothing here waits for the windows' thread.

#include <QObject>
#include <QPointer>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "exchange/polling.h"

namespace vesk::ui {

class PollReceiver : public exchange::PollSink {
 public:
  using Deliver = std::function<void(std::shared_ptr<exchange::PollSample>, uint64_t session)>;
  using Ended = std::function<void(uint64_t session)>;

  // `deliver` and `ended` run on the thread of `context`, and not at all once it is gone.
  PollReceiver(QObject* context, Deliver deliver, Ended ended)
      : context_(context), deliver_(std::move(deliver)), ended_(std::move(ended)) {}

  // The session results are tagged with from now on.
  void set_session(uint64_t session) { session_.store(session); }
  uint64_t session() const { return session_.load(); }

  void OnPollResult(std::unique_ptr<exchange::PollSample> sample) override {
    // Held by a shared pointer: the queued call copies its functor. The sample's place in
    // flight is given back when the last copy goes, delivered or dropped.
    std::shared_ptr<exchange::PollSample> shared(std::move(sample));
    const uint64_t session = session_.load();
    QMetaObject::invokeMethod(
        context_, [deliver = deliver_, shared, session] { deliver(shared, session); },
        Qt::QueuedConnection);
  }

  void OnPollingEnded() override {
    const uint64_t session = session_.load();
    QMetaObject::invokeMethod(
        context_, [ended = ended_, session] { ended(session); }, Qt::QueuedConnection);
  }

 private:
  QObject* context_;
  Deliver deliver_;
  Ended ended_;
  std::atomic<uint64_t> session_{0};
};

}  // namespace vesk::ui
