#include "link/port_loss.h"
#include "platform/language.h"

#include <cerrno>

namespace vesk::link {

bool PortGone(const PortResult& result) {
  if (result.status != PortStatus::SystemError) return false;
  switch (result.sys_errno) {
    case EIO:
    case ENXIO:
    case ENODEV:
    case EBADF:
    case ECONNRESET:
    case ECONNABORTED:
    case EPIPE:
    case ENOTCONN:
    case ETIMEDOUT:
    case EHOSTUNREACH:
    case ENETUNREACH:
    case ENETDOWN:
      return true;
    default:
      return false;
  }
}

std::string LostPortText(const std::string& port, const PortResult& result) {
  return platform::Tr("Порт ") + port + platform::Tr(" потерян: ") + result.Reason();
}

}  // namespace vesk::link
