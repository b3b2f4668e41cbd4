#include "Http/Host.h"

#include "Http/Connections.h"
#include "Http/Service.h"

#include <boost/asio/executor_work_guard.hpp>
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <sys/resource.h>

namespace taskory::HttpServer {
namespace {

namespace net = boost::asio;
using tcp = net::ip::tcp;
using namespace std::chrono_literals;

constexpr std::size_t kMaxConnections = 512;
// Descriptors kept for the store, its journal and the token file.
constexpr rlim_t kReservedDescriptors = 64;
// How long a stop waits for requests being answered.
constexpr auto kStopGrace = 4s;
// After the descriptors ran out, accepting waits this long for some to
// come free.
constexpr auto kAcceptPause = 50ms;

// Raises the soft descriptor limit as far as the hard one allows, and
// returns how many connections fit under it.
std::size_t connectionLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) != 0)
    return kMaxConnections;
  if (limit.rlim_cur != limit.rlim_max) {
    rlimit raised = limit;
    raised.rlim_cur =
        std::min<rlim_t>(limit.rlim_max, kMaxConnections + 4 * kReservedDescriptors);
    if (raised.rlim_cur > limit.rlim_cur && ::setrlimit(RLIMIT_NOFILE, &raised) == 0)
      limit = raised;
  }
  if (limit.rlim_cur == RLIM_INFINITY)
    return kMaxConnections;
  const rlim_t usable = limit.rlim_cur > 2 * kReservedDescriptors
                            ? limit.rlim_cur - kReservedDescriptors
                            : limit.rlim_cur / 2;
  return std::max<std::size_t>(
      1, std::min<std::size_t>(kMaxConnections, static_cast<std::size_t>(usable)));
}

} // namespace

struct Host::State {
  // Before the event loop: handlers it still holds when it is destroyed
  // hold connections, which leave this list as they go.
  std::optional<Connections> connections;
  net::io_context io{1};
  tcp::acceptor acceptor{io};
  net::steady_timer pause{io};
  net::steady_timer grace{io};
  std::optional<net::executor_work_guard<net::io_context::executor_type>> work;
  std::size_t limit = kMaxConnections;
  std::atomic<bool> stopRequested{false};
  bool stopping = false;

  void accept();
  void onAccepted(const boost::system::error_code &error, tcp::socket socket);
  void beginStopping();
  void finishIfEmpty();
};

void Host::State::accept() {
  acceptor.async_accept(
      [this](const boost::system::error_code &error, tcp::socket socket) {
        onAccepted(error, std::move(socket));
      });
}

void Host::State::onAccepted(const boost::system::error_code &error,
                             tcp::socket socket) {
  if (stopping)
    return;
  if (error) {
    // Out of descriptors, or a connection that went before it was taken:
    // make room and try again shortly, never in a busy loop.
    if (error == net::error::no_descriptors)
      connections->closeLeastRecentlyActiveIdle();
    pause.expires_after(kAcceptPause);
    pause.async_wait([this](const boost::system::error_code &waited) {
      if (!waited && !stopping)
        accept();
    });
    return;
  }
  if (connections->byActivity.size() >= limit &&
      !connections->closeLeastRecentlyActiveIdle()) {
    // Every connection is busy with a request: this one waits nowhere.
    boost::system::error_code ignored;
    socket.close(ignored);
  } else {
    std::make_shared<Connection>(std::move(socket), *connections)->start();
  }
  accept();
}

void Host::State::beginStopping() {
  if (stopping)
    return;
  stopping = true;
  boost::system::error_code ignored;
  acceptor.close(ignored);
  pause.cancel();
  if (connections)
    connections->stopAll();
  grace.expires_after(kStopGrace);
  grace.async_wait([this](const boost::system::error_code &waited) {
    if (!waited)
      io.stop();
  });
  finishIfEmpty();
}

void Host::State::finishIfEmpty() {
  if (!connections || connections->byActivity.empty()) {
    io.stop();
    return;
  }
  // Connections leave the list as they close; look again shortly.
  pause.expires_after(20ms);
  pause.async_wait([this](const boost::system::error_code &waited) {
    if (!waited)
      finishIfEmpty();
  });
}

Host::Host() : state_(std::make_unique<State>()) {}

Host::~Host() = default;

std::optional<std::string> Host::bind(const std::string &host, int port) {
  boost::system::error_code error;
  const net::ip::address address = net::ip::make_address(host, error);
  if (error)
    return std::string(std::strerror(EINVAL));
  const tcp::endpoint endpoint(address, static_cast<unsigned short>(port));
  tcp::acceptor &acceptor = state_->acceptor;
  acceptor.open(endpoint.protocol(), error);
  // Without SO_REUSEPORT: a second server on the same port must fail, not
  // share the clients.
  if (!error)
    acceptor.set_option(tcp::acceptor::reuse_address(true), error);
  if (!error)
    acceptor.bind(endpoint, error);
  // A client opening a pool of connections at once must not see most of
  // them dropped and retried seconds later.
  if (!error)
    acceptor.listen(net::socket_base::max_listen_connections, error);
  if (error) {
    boost::system::error_code ignored;
    acceptor.close(ignored);
    return std::string(std::strerror(error.value()));
  }
  return std::nullopt;
}

int Host::port() const {
  boost::system::error_code error;
  const tcp::endpoint endpoint = state_->acceptor.local_endpoint(error);
  return error ? 0 : endpoint.port();
}

void Host::run(Service &service) {
  State &state = *state_;
  state.connections.emplace(service);
  state.limit = connectionLimit();
  state.work.emplace(state.io.get_executor());
  net::post(state.io, [&state] {
    if (state.stopRequested)
      state.beginStopping();
    else
      state.accept();
  });
  for (;;) {
    try {
      state.io.run();
      break;
    } catch (...) {
      // A handler that ran out of memory loses its own connection at most;
      // the host goes on serving the others.
    }
  }
}

void Host::stop() {
  State &state = *state_;
  state.stopRequested = true;
  net::post(state.io, [&state] { state.beginStopping(); });
}

} // namespace taskory::HttpServer
