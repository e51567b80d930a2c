#include "app/CloseSignals.h"

#include "common/FolderLock.h"

#include <QSocketNotifier>

#include <cerrno>
#include <csignal>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// The handler's end [1] and the notifier's end [0] of a socket pair.
int gWake[2] = {-1, -1};

void OnSignal(int) {
  const int saved = errno;
  fileio::RequestInterrupt();
  const char byte = 1;
  [[maybe_unused]] const ssize_t n = ::write(gWake[1], &byte, 1);
  errno = saved;
}

void Handle(void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  sigemptyset(&action.sa_mask);
  // The decoding and export threads may take the signal: their calls go on.
  action.sa_flags = SA_RESTART;
  for (const int sig : {SIGTERM, SIGHUP}) sigaction(sig, &action, nullptr);
}

}  // namespace

CloseSignals::CloseSignals(std::function<void()> onSignal, QObject* parent)
    : QObject(parent), onSignal_(std::move(onSignal)) {
  if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0, gWake) != 0) return;
  notifier_ = new QSocketNotifier(gWake[0], QSocketNotifier::Read, this);
  connect(notifier_, &QSocketNotifier::activated, this, [this] {
    char bytes[16];
    while (::read(gWake[0], bytes, sizeof bytes) > 0) {
    }
    if (onSignal_) onSignal_();
  });
  Handle(OnSignal);
}

CloseSignals::~CloseSignals() {
  Handle(SIG_DFL);
  delete notifier_;
  for (int& fd : gWake) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}
