#include "app/line_watch.h"
#include "platform/language.h"

namespace vesk::app {

bool LineWatch::Open(const CommandLine& cl, std::string& error) {
  stats_on_ = cl.stats;
  return !cl.trace_path || trace_.Open(*cl.trace_path, error);
}

void LineWatch::Attach(link::DeviceLink& link) {
  Detach();
  if (!Wanted()) return;
  link_ = &link;
  if (trace_.IsOpen()) link.AddObserver(&trace_);
  if (stats_on_) link.AddObserver(&stats_);
}

void LineWatch::Detach() {
  if (!link_) return;
  link_->RemoveObserver(&trace_);
  link_->RemoveObserver(&stats_);
  link_ = nullptr;
}

void LineWatch::Finish(std::FILE* err) {
  Detach();
  if (!stats_on_) return;
  std::fputs(platform::Tr("Статистика линии:\n"), err);
  std::fputs(link::LineCountersText(stats_.Snapshot()).c_str(), err);
  stats_on_ = false;
}

}  // namespace vesk::app
