#pragma once

#include <csignal>

namespace taskory::HttpServer {

// SIGINT and SIGTERM as the request to stop, taken by one waiting thread
// only. Construct it before any other thread starts: threads inherit the
// blocked signals, so a stop never interrupts a worker; only wait() takes
// them.
class StopSignals {
public:
  // Blocks both in the calling thread (and so in every thread it starts).
  StopSignals();
  StopSignals(const StopSignals &) = delete;
  StopSignals &operator=(const StopSignals &) = delete;

  // Returns when one of them has arrived.
  void wait() const;

  // Asks for a stop from inside the process, so that wait() ends when the
  // server cannot go on by itself.
  static void raise();

private:
  sigset_t signals_;
};

} // namespace taskory::HttpServer
