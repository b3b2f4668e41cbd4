#include "Http/StopSignals.h"

#include <pthread.h>
#include <unistd.h>

namespace taskory::HttpServer {

StopSignals::StopSignals() {
  sigemptyset(&signals_);
  sigaddset(&signals_, SIGINT);
  sigaddset(&signals_, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &signals_, nullptr);
}

void StopSignals::wait() const {
  int signal = 0;
  while (::sigwait(&signals_, &signal) != 0) {
  }
}

void StopSignals::raise() { ::kill(::getpid(), SIGTERM); }

} // namespace taskory::HttpServer
