#pragma once

#include <memory>
#include <optional>
#include <string>

namespace taskory::HttpServer {

class Service;

// The host that owns the listening socket and every connection, on one
// event-loop thread (Http/Connections.h). It bounds what any client can
// hold: a head's size, fields and time, a body's size, the number of
// connections (the least recently active idle one makes room for a new
// one), and it ends within a few seconds of stop() whatever clients do.
class Host {
public:
  Host();
  ~Host();
  Host(const Host &) = delete;
  Host &operator=(const Host &) = delete;

  // Binds `host` (a literal address) and `port` (0 picks a free one) and
  // listens; the German reason when that fails.
  std::optional<std::string> bind(const std::string &host, int port);
  // The bound port.
  int port() const;

  // Serves `service` on the calling thread until stop(): then accepts no
  // more, closes idle connections, lets requests being answered finish, and
  // returns once every connection is closed, or after a few seconds
  // whatever is left. The caller then waits for the service's threads.
  void run(Service &service);

  // Safe from any thread, also before run().
  void stop();

private:
  struct State;
  std::unique_ptr<State> state_;
};

} // namespace taskory::HttpServer
