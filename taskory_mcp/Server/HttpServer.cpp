#include "Server/HttpServer.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Text.h"
#include "Server/HttpAccess.h"
#include "Server/KanbanMCPServer.h"
#include "Server/StartUp.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <algorithm>
#include <arpa/inet.h>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <functional>
#include <map>
#include <mutex>
#include <netdb.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

namespace taskory::HttpServer {
namespace {

using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;
namespace fs = std::filesystem;

// JSON-RPC codes of the transport's own refusals, as MCP's HTTP servers use
// them: the body is an error answer with a null id.
constexpr int kParseError = -32700;
constexpr int kInvalidRequest = -32600;
constexpr int kTransportError = -32000;
constexpr int kInternalError = -32603;

// Revisions whose HTTP transport this server speaks. 2025-03-26 clients send
// no version header, but a client that negotiated it may still name it.
constexpr std::string_view kProtocolVersions[] = {"2025-03-26", "2025-06-18",
                                                  "2025-11-25"};

// A connection waits this long for each part of a request or answer, and
// this long (without a worker) for its first or next request.
constexpr milliseconds kReadTimeout{5000};
constexpr milliseconds kKeepAlive{5000};
// One request and its answer together may take this long on the wire (the
// tool call itself does not count): a client trickling bytes can hold a
// worker no longer than that.
constexpr milliseconds kExchangeLimit{60000};
// A client that sends its next request right after an answer usually has
// it here within this time; waiting that long on the worker spares the
// hand-over to the idle watcher and back.
constexpr milliseconds kBriefWait{2};
// Threads serving requests; idle connections hold none, so this bounds only
// how many requests are handled at once.
constexpr std::size_t kWorkers = 16;
// After refusing a request whose body may still be coming, the connection
// is half-closed and what arrives is read and dropped for this long, so the
// client reads the refusal instead of a reset.
constexpr milliseconds kLinger{1000};

std::string transportError(int code, std::string_view message) {
  return KanbanMCPServer::respondError("null", code, message);
}

// Sets a refusal: a JSON-RPC error body with a null id; the connection is
// closed after it, since the request's body may not have been read.
void refuse(httplib::Response &response, int status, int code,
            std::string_view message) {
  response.status = status;
  response.set_header("Connection", "close");
  response.set_content(transportError(code, message), "application/json");
}

char lower(char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; }

bool isJSONMediaType(std::string_view contentType) {
  std::string_view type = contentType.substr(0, contentType.find(';'));
  while (!type.empty() && (type.back() == ' ' || type.back() == '\t'))
    type.remove_suffix(1);
  while (!type.empty() && (type.front() == ' ' || type.front() == '\t'))
    type.remove_prefix(1);
  constexpr std::string_view kJSON = "application/json";
  return type.size() == kJSON.size() &&
         std::equal(type.begin(), type.end(), kJSON.begin(),
                    [](char a, char b) { return lower(a) == b; });
}

// True when a Content-Length header announces more than kMaxBodyBytes.
bool announcesTooLarge(const httplib::Request &request) {
  if (!request.has_header("Content-Length"))
    return false;
  const std::string length = request.get_header_value("Content-Length");
  if (length.empty())
    return false;
  std::size_t digits = 0; // significant ones
  for (char c : length) {
    if (c < '0' || c > '9')
      return false; // not a length at all: the HTTP layer refuses it
    if (digits > 0 || c != '0')
      ++digits;
  }
  // Nine digits are beyond the limit already; fewer always fit stoull.
  return digits > 8 ||
         std::stoull(length) > static_cast<unsigned long long>(kMaxBodyBytes);
}

// Records, while a body is parsed, the members that tell the kinds of
// JSON-RPC message apart; builds nothing.
class MessageShape final : public nlohmann::json_sax<nlohmann::json> {
public:
  bool isObject = false;
  bool hasID = false;
  bool hasMethod = false;
  bool methodIsString = false;
  bool hasOutcome = false; // "result" or "error"

  bool null() override { return member(false); }
  bool boolean(bool) override { return member(false); }
  bool number_integer(number_integer_t) override { return member(false); }
  bool number_unsigned(number_unsigned_t) override { return member(false); }
  bool number_float(number_float_t, const string_t &) override {
    return member(false);
  }
  bool string(string_t &) override { return member(true); }
  bool binary(binary_t &) override { return false; }
  bool start_object(std::size_t) override {
    if (depth_ == 0)
      isObject = true;
    else
      member(false);
    ++depth_;
    return true;
  }
  bool key(string_t &name) override {
    if (depth_ == 1)
      key_ = std::move(name);
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    member(false);
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string &,
                   const nlohmann::detail::exception &) override {
    return false;
  }

private:
  // A value begins; only those directly inside the top-level object count.
  bool member(bool isString) {
    if (depth_ != 1)
      return true;
    if (key_ == "method") {
      hasMethod = true;
      methodIsString = isString; // the last of repeated keys counts
    } else if (key_ == "id") {
      hasID = true;
    } else if (key_ == "result" || key_ == "error") {
      hasOutcome = true;
    }
    return true;
  }

  std::size_t depth_ = 0;
  std::string key_;
};

// The store connections of the workers. A connection is used by one request
// at a time and handed from worker to worker only through the pool's lock;
// each comes with its own calendar, since ICU calendars are not thread-safe.
// Connections are opened when first needed and closed with the pool.
class StorePool {
public:
  StorePool(fs::path store, std::unique_ptr<ModelContainer> first,
            std::size_t size)
      : store_(std::move(store)), slots_(size) {
    slots_.front().container = std::move(first);
    // Taken from the back: the connection opened at start-up goes first.
    for (std::size_t i = size; i-- > 0;)
      free_.push_back(i);
  }

  class Lease {
  public:
    Lease(StorePool &pool, std::size_t index) : pool_(&pool), index_(index) {}
    Lease(Lease &&other) noexcept
        : pool_(std::exchange(other.pool_, nullptr)), index_(other.index_) {}
    Lease &operator=(Lease &&) = delete;
    ~Lease() {
      if (pool_)
        pool_->release(index_);
    }
    ModelContainer &container() { return *pool_->slots_[index_].container; }
    const Calendar &calendar() {
      auto &calendar = pool_->slots_[index_].calendar;
      if (!calendar)
        calendar = Calendar::current();
      return *calendar;
    }

  private:
    StorePool *pool_;
    std::size_t index_;
  };

  // A connection of its own for the caller; waits while all are in use.
  // Throws StoreError when a new connection cannot be opened.
  Lease acquire() {
    std::size_t index;
    {
      std::unique_lock lock(mutex_);
      available_.wait(lock, [this] { return !free_.empty(); });
      index = free_.back();
      free_.pop_back();
    }
    Lease lease(*this, index);
    if (!slots_[index].container)
      slots_[index].container = KanbanStore::makeContainer(store_);
    return lease;
  }

private:
  struct Slot {
    std::unique_ptr<ModelContainer> container;
    std::optional<Calendar> calendar;
  };

  void release(std::size_t index) {
    {
      std::lock_guard lock(mutex_);
      free_.push_back(index);
    }
    available_.notify_one();
  }

  const fs::path store_;
  std::vector<Slot> slots_;
  std::mutex mutex_;
  std::condition_variable available_;
  std::vector<std::size_t> free_;
};

bool pollFor(int fd, short events, milliseconds timeout) {
  pollfd entry{fd, events, 0};
  const auto until = Clock::now() + timeout;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<milliseconds>(until - Clock::now());
    const int ready =
        ::poll(&entry, 1, static_cast<int>(std::max<long>(0, left.count())));
    if (ready >= 0 || errno != EINTR)
      return ready > 0;
  }
}

std::pair<std::string, int> numericAddress(const sockaddr_storage &address,
                                           socklen_t length) {
  char host[NI_MAXHOST] = "";
  char port[NI_MAXSERV] = "";
  if (::getnameinfo(reinterpret_cast<const sockaddr *>(&address), length, host,
                    sizeof host, port, sizeof port,
                    NI_NUMERICHOST | NI_NUMERICSERV) != 0)
    return {"", -1};
  return {host, std::atoi(port)};
}

// One client connection as the HTTP library's stream. Every wait is bounded
// twice: by the read or write timeout, and by the deadline of the current
// exchange, which a client sending or reading one byte at a time runs into.
class Connection final : public httplib::Stream {
public:
  explicit Connection(int fd) : fd_(fd) {}
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  // True when the next request has begun to arrive (or the client closed)
  // within `wait`.
  bool hasInput(milliseconds wait) const {
    return start_ < buffer_.size() || pollFor(fd_, POLLIN, wait);
  }

  void beginExchange() {
    deadline_ = Clock::now() + kExchangeLimit;
    status_ = 0;
  }
  // The status of the last answer written (the one after a 100 Continue).
  int status() const { return status_; }

  // Ends the connection. After a refusal the client may still be sending
  // the body; closing with unread data would reset the connection and could
  // destroy the refusal before the client reads it.
  void close(bool linger) {
    if (linger) {
      ::shutdown(fd_, SHUT_WR);
      const auto until = Clock::now() + kLinger;
      char sink[16384];
      while (Clock::now() < until &&
             pollFor(fd_, POLLIN,
                     std::chrono::duration_cast<milliseconds>(until -
                                                              Clock::now())) &&
             ::recv(fd_, sink, sizeof sink, 0) > 0) {
      }
    }
    ::shutdown(fd_, SHUT_RDWR);
    ::close(fd_);
  }

  bool is_readable() const override {
    return start_ < buffer_.size() || wait(POLLIN);
  }
  bool is_writable() const override { return wait(POLLOUT); }

  ssize_t read(char *data, size_t size) override {
    if (start_ == buffer_.size()) {
      // Buffered, since the library reads the request head byte by byte.
      if (!wait(POLLIN))
        return -1;
      buffer_.resize(kBufferSize);
      const ssize_t got = receive(buffer_.data(), buffer_.size());
      buffer_.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
      start_ = 0;
      if (got <= 0)
        return got;
    }
    const std::size_t count = std::min(size, buffer_.size() - start_);
    std::memcpy(data, buffer_.data() + start_, count);
    start_ += count;
    return static_cast<ssize_t>(count);
  }

  ssize_t write(const char *data, size_t size) override {
    noteStatus(std::string_view(data, size));
    if (!wait(POLLOUT))
      return -1;
    ssize_t sent;
    do
      sent = ::send(fd_, data, size, kSendFlags);
    while (sent < 0 && errno == EINTR);
    return sent;
  }

  void get_remote_ip_and_port(std::string &ip, int &port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getpeername(fd_, reinterpret_cast<sockaddr *>(&address), &length) ==
        0)
      std::tie(ip, port) = numericAddress(address, length);
  }
  void get_local_ip_and_port(std::string &ip, int &port) const override {
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    if (::getsockname(fd_, reinterpret_cast<sockaddr *>(&address), &length) ==
        0)
      std::tie(ip, port) = numericAddress(address, length);
  }
  socket_t socket() const override { return fd_; }

private:
  static constexpr std::size_t kBufferSize = 16384;
  // SIGPIPE is ignored for the whole process; where the flag exists it
  // spares the signal altogether.
#ifdef MSG_NOSIGNAL
  static constexpr int kSendFlags = MSG_NOSIGNAL;
#else
  static constexpr int kSendFlags = 0;
#endif

  bool wait(short events) const {
    const auto left =
        std::chrono::duration_cast<milliseconds>(deadline_ - Clock::now());
    if (left.count() <= 0)
      return false;
    return pollFor(fd_, events, std::min(left, kReadTimeout));
  }

  ssize_t receive(char *data, std::size_t size) {
    ssize_t got;
    do
      got = ::recv(fd_, data, size, 0);
    while (got < 0 && errno == EINTR);
    return got;
  }

  void noteStatus(std::string_view bytes) {
    if (bytes.size() >= 12 && bytes.substr(0, 7) == "HTTP/1." &&
        bytes[8] == ' ')
      status_ =
          (bytes[9] - '0') * 100 + (bytes[10] - '0') * 10 + (bytes[11] - '0');
  }

  const int fd_;
  std::string buffer_;
  std::size_t start_ = 0;
  Clock::time_point deadline_ = Clock::now() + kExchangeLimit;
  int status_ = 0;
};

// Connections waiting for their next request, watched by one thread instead
// of each holding a worker: with the library's thread per connection, a few
// idle keep-alive connections (client libraries keep a pool of them) would
// otherwise leave requests on new connections queued until they time out.
// A connection with input is handed back through `resume`; one silent past
// its time is closed. Plain poll(2): there are rarely more than a few dozen.
class IdleConnections {
public:
  explicit IdleConnections(std::function<void(int fd)> resume)
      : resume_(std::move(resume)) {
    if (::pipe(wake_) != 0)
      wake_[0] = wake_[1] = -1;
    for (int fd : wake_) {
      ::fcntl(fd, F_SETFD, FD_CLOEXEC);
      ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    watcher_ = std::thread([this] { watch(); });
  }
  ~IdleConnections() {
    stop();
    for (int fd : wake_)
      ::close(fd);
  }
  IdleConnections(const IdleConnections &) = delete;
  IdleConnections &operator=(const IdleConnections &) = delete;

  // Takes over `fd` until input arrives or `patience` has passed; after
  // stop() closes it at once.
  void park(int fd, milliseconds patience) {
    {
      std::lock_guard lock(mutex_);
      if (!stopped_) {
        deadlines_[fd] = Clock::now() + patience;
        wake();
        return;
      }
    }
    closeSocket(fd);
  }

  // Closes every waiting connection and resumes none after returning.
  void stop() {
    {
      std::lock_guard lock(mutex_);
      if (stopped_)
        return;
      stopped_ = true;
      wake();
    }
    watcher_.join();
    for (const auto &[fd, deadline] : deadlines_)
      closeSocket(fd);
    deadlines_.clear();
  }

  static void closeSocket(int fd) {
    ::shutdown(fd, SHUT_RDWR);
    ::close(fd);
  }

private:
  void wake() { (void)!::write(wake_[1], "", 1); }

  void watch() {
    std::vector<pollfd> watched;
    for (;;) {
      watched.assign(1, pollfd{wake_[0], POLLIN, 0});
      {
        std::lock_guard lock(mutex_);
        if (stopped_)
          return;
        for (const auto &[fd, deadline] : deadlines_)
          watched.push_back(pollfd{fd, POLLIN, 0});
      }
      int ready;
      do
        ready = ::poll(watched.data(), watched.size(), 250);
      while (ready < 0 && errno == EINTR);
      char drained[64];
      while (::read(wake_[0], drained, sizeof drained) > 0) {
      }
      std::vector<int> resumed;
      {
        std::lock_guard lock(mutex_);
        if (stopped_)
          return;
        for (std::size_t i = 1; i < watched.size(); ++i)
          if (watched[i].revents != 0 && deadlines_.erase(watched[i].fd) > 0)
            resumed.push_back(watched[i].fd);
        const auto now = Clock::now();
        for (auto it = deadlines_.begin(); it != deadlines_.end();) {
          if (it->second > now) {
            ++it;
            continue;
          }
          closeSocket(it->first);
          it = deadlines_.erase(it);
        }
      }
      for (int fd : resumed)
        resume_(fd);
    }
  }

  const std::function<void(int fd)> resume_;
  int wake_[2] = {-1, -1}; // written to when the watched set changes
  std::mutex mutex_;
  std::map<int, Clock::time_point> deadlines_; // guarded by mutex_
  bool stopped_ = false;                       // guarded by mutex_
  std::thread watcher_;
};

// The HTTP library's server with our own connection handling (bounded waits,
// idle connections parked without a worker, a close after every refusal)
// and the MCP endpoint.
class Transport final : public httplib::Server {
public:
  Transport(const HttpServer::Options &options, std::string token,
            StorePool &pool)
      : options_(options), token_(std::move(token)), pool_(pool),
        loopbackBind_(HttpAccess::isLoopbackAddress(options.host)) {
    // The library owns the pool and ends it when listening ends; by then
    // the idle connections are stopped and resume nothing into it.
    new_task_queue = [this] {
      workers_ = new httplib::ThreadPool(kWorkers);
      return workers_;
    };
    set_keep_alive_timeout(kKeepAlive.count() / 1000);
    set_payload_max_length(kMaxBodyBytes);
    // Without SO_REUSEPORT, which the library's default would add: a second
    // server on the same port must fail, not share the clients.
    set_socket_options([](socket_t socket) {
      const int yes = 1;
      ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    });
    set_pre_routing_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
          return screen(request, response) ? HandlerResponse::Handled
                                           : HandlerResponse::Unhandled;
        });
    // A client that waits for "100 Continue" before sending its body is
    // screened first, so a refusal costs it no upload.
    set_expect_100_continue_handler(
        [this](const httplib::Request &request, httplib::Response &response) {
          return screen(request, response) ? response.status : 100;
        });
    // The body is gathered here rather than by the library, which would
    // take a chunked or compressed body without limit.
    Post("/mcp", [this](const httplib::Request &, httplib::Response &response,
                        const httplib::ContentReader &read) {
      std::string body;
      bool tooLarge = false;
      const bool complete = read([&](const char *data, std::size_t size) {
        if (size > kMaxBodyBytes - body.size()) {
          tooLarge = true;
          return false;
        }
        body.append(data, size);
        return true;
      });
      if (tooLarge)
        return refuse(response, 413, kTransportError, tooLargeMessage());
      if (!complete)
        return refuse(response, 400, kInvalidRequest, "Anfrage unvollständig");
      answer(body, response);
    });
    // Statuses the library sets itself (a malformed request line or header):
    // the same JSON error shape, and the connection closed, as the request
    // may not have been read to its end.
    set_error_handler(HandlerWithResponse(
        [](const httplib::Request &, httplib::Response &response) {
          if (response.body.empty())
            refuse(response, response.status,
                   response.status == 413 ? kTransportError : kInvalidRequest,
                   response.status == 413 ? tooLargeMessage()
                                          : "Ungültige Anfrage");
          else if (!response.has_header("Connection"))
            response.set_header("Connection", "close");
          return HandlerResponse::Handled;
        }));
    set_exception_handler([](const httplib::Request &,
                             httplib::Response &response, std::exception_ptr) {
      refuse(response, 500, kInternalError, "Interner Fehler");
    });
  }
  // The library listens with a backlog of five, so a client opening a pool
  // of connections at once would see most of them dropped and retried
  // seconds later; listening again on the bound socket enlarges it.
  void widenBacklog() { ::listen(svr_sock_, SOMAXCONN); }

  // Idle connections end now; requests already begun are still answered.
  void beginStopping() {
    stopping_ = true;
    idle_.stop();
  }
  bool stopRequested() const { return stopping_; }

private:
  static std::string tooLargeMessage() {
    return "Anfrage zu groß (höchstens " + std::to_string(kMaxBodyBytes >> 20) +
           " MiB)";
  }

  bool process_and_close_socket(socket_t socket) override {
    // An answer leaves in two writes (head, body); without this the second
    // would wait for the client's delayed acknowledgement of the first.
    const int yes = 1;
    ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
    serve(socket, kReadTimeout);
    return true;
  }

  // Answers the requests that have arrived on `fd`, then parks it to wait
  // for more or closes it.
  void serve(int fd, milliseconds patience) {
    Connection connection(fd);
    for (;;) {
      if (!connection.hasInput(kBriefWait)) {
        if (stopping_)
          IdleConnections::closeSocket(fd);
        else
          idle_.park(fd, patience);
        return;
      }
      const bool last = stopping_;
      connection.beginExchange();
      bool closed = false;
      const bool written = process_request(connection, last, closed, nullptr);
      const int status = connection.status();
      if (!written || closed || last || status < 200 || status >= 300) {
        connection.close(written && status >= 300);
        return;
      }
      patience = kKeepAlive;
    }
  }

  // Sets a refusal and returns true for a request that must not reach the
  // endpoint; decided from the head alone, before any body is read.
  bool screen(const httplib::Request &request, httplib::Response &response) {
    // DNS rebinding: a page whose name now points at 127.0.0.1 still sends
    // its own name as Host and its own origin.
    if (loopbackBind_ && !HttpAccess::isLoopbackHostHeader(
                             request.get_header_value("Host"), options_.host)) {
      refuse(response, 403, kTransportError, "Host nicht erlaubt");
      return true;
    }
    if (request.has_header("Origin") &&
        !HttpAccess::isAcceptedOrigin(request.get_header_value("Origin"),
                                      options_.allowedOrigins)) {
      refuse(response, 403, kTransportError, "Origin nicht erlaubt");
      return true;
    }
    if (!options_.noAuth &&
        !HttpAccess::carriesToken(request.get_header_value("Authorization"),
                                  token_)) {
      refuse(response, 401, kTransportError,
             "Anmeldung nötig: Authorization: Bearer <Token>");
      response.set_header("WWW-Authenticate", "Bearer");
      return true;
    }
    if (request.path != "/mcp") {
      refuse(response, 404, kTransportError, "Nicht gefunden");
      return true;
    }
    if (request.method != "POST") {
      // The server offers no stream of its own (GET) and keeps no sessions
      // that a DELETE could end.
      refuse(response, 405, kTransportError, "Methode nicht erlaubt");
      response.set_header("Allow", "POST");
      return true;
    }
    if (announcesTooLarge(request)) {
      refuse(response, 413, kTransportError, tooLargeMessage());
      return true;
    }
    if (request.has_header("MCP-Protocol-Version")) {
      const std::string version =
          request.get_header_value("MCP-Protocol-Version");
      if (std::find(std::begin(kProtocolVersions), std::end(kProtocolVersions),
                    version) == std::end(kProtocolVersions)) {
        refuse(response, 400, kTransportError,
               "Nicht unterstützte MCP-Protocol-Version");
        return true;
      }
    }
    if (!isJSONMediaType(request.get_header_value("Content-Type"))) {
      refuse(response, 415, kTransportError,
             "Content-Type muss application/json sein");
      return true;
    }
    return false;
  }

  void answer(std::string_view received, httplib::Response &response) {
    const std::string body = text::sanitizedUTF8(received);
    switch (classify(body)) {
    case MessageKind::notJSON:
      return refuse(response, 400, kParseError, "Ungültiges JSON");
    case MessageKind::invalid:
      return refuse(response, 400, kInvalidRequest,
                    "Keine einzelne JSON-RPC-Nachricht");
    case MessageKind::notification:
    case MessageKind::response:
      response.status = 202;
      return;
    case MessageKind::request:
      break;
    }
    // The store connection is taken at the first tool call only: initialize,
    // ping and tools/list need none.
    std::optional<StorePool::Lease> lease;
    const KanbanMCPServer::ToolRunner runTool =
        [this, &lease](std::string_view name, const nlohmann::json &arguments) {
          if (!lease)
            lease.emplace(pool_.acquire());
          return StartUp::callTool(lease->container(), lease->calendar(), name,
                                   arguments);
        };
    auto reply = KanbanMCPServer::handleLine(body, runTool);
    if (!reply)
      return refuse(response, 500, kInternalError, "Interner Fehler");
    response.status = 200;
    response.set_content(std::move(*reply), "application/json");
  }

  const HttpServer::Options options_;
  const std::string token_;
  StorePool &pool_;
  const bool loopbackBind_;
  std::atomic<bool> stopping_{false};
  httplib::ThreadPool *workers_ = nullptr;
  IdleConnections idle_{[this](int fd) {
    workers_->enqueue([this, fd] { serve(fd, kKeepAlive); });
  }};
};

// A parent may start us with a standard descriptor closed; the listening
// socket or the token file would then take its number, and a message meant
// for standard error could land in it.
void occupyClosedStandardDescriptors() {
  for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO}) {
    if (::fcntl(fd, F_GETFD) != -1 || errno != EBADF)
      continue;
    const int opened = ::open("/dev/null", O_RDWR);
    if (opened >= 0 && opened != fd) {
      ::dup2(opened, fd);
      ::close(opened);
    }
  }
}

std::string urlHost(const std::string &host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

constexpr std::string_view kUsage =
    "Aufruf: taskory_mcp --http [HOST:]PORT [--no-auth] [--allow-origin "
    "ORIGIN]…";

} // namespace

std::variant<Options, std::string>
parseOptions(const std::vector<std::string_view> &arguments) {
  Options options;
  bool haveAddress = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    const bool takesValue =
        argument == "--http" || argument == "--allow-origin";
    if (takesValue && i + 1 == arguments.size())
      return std::string(argument) + " braucht einen Wert";
    if (argument == "--no-auth") {
      options.noAuth = true;
    } else if (argument == "--allow-origin") {
      const std::string_view origin = arguments[++i];
      if (origin.empty())
        return std::string("--allow-origin braucht einen Wert");
      options.allowedOrigins.emplace_back(origin);
    } else if (argument == "--http") {
      if (haveAddress)
        return std::string("--http ist doppelt angegeben");
      haveAddress = true;
      const std::string_view value = arguments[++i];
      std::string_view host;
      std::string_view port = value;
      if (!value.empty() && value.front() == '[') {
        const std::size_t close = value.find(']');
        if (close == std::string_view::npos || close + 1 >= value.size() ||
            value[close + 1] != ':')
          return "Ungültige Adresse: " + std::string(value);
        host = value.substr(1, close - 1);
        port = value.substr(close + 2);
      } else if (const std::size_t colon = value.find(':');
                 colon != std::string_view::npos) {
        if (value.find(':', colon + 1) != std::string_view::npos)
          return "IPv6-Adressen in eckigen Klammern angeben: " +
                 std::string(value);
        host = value.substr(0, colon);
        port = value.substr(colon + 1);
      }
      if (port.empty() || port.size() > 5 ||
          port.find_first_not_of("0123456789") != std::string_view::npos ||
          std::stoi(std::string(port)) > 65535)
        return "Ungültiger Port: " + std::string(port);
      options.port = std::stoi(std::string(port));
      if (!host.empty()) {
        std::string name(host);
        std::transform(name.begin(), name.end(), name.begin(), lower);
        if (name == "localhost")
          name = "127.0.0.1";
        in6_addr address{};
        if (::inet_pton(AF_INET, name.c_str(), &address) != 1 &&
            ::inet_pton(AF_INET6, name.c_str(), &address) != 1)
          return "HOST muss eine IP-Adresse oder localhost sein: " +
                 std::string(host);
        options.host = name;
      }
    } else {
      return "Unbekannte Option: " + std::string(argument);
    }
  }
  if (!haveAddress)
    return std::string("--http [HOST:]PORT fehlt");
  if (options.noAuth && !HttpAccess::isLoopbackAddress(options.host))
    return "--no-auth ist nur auf einer Loopback-Adresse erlaubt (127.0.0.1, "
           "::1), nicht auf " +
           options.host;
  return options;
}

MessageKind classify(std::string_view body) {
  // nlohmann's reader takes a raw NUL for the end of the input (see
  // parseRequest): such a body is not JSON, whatever follows.
  if (body.find('\0') != std::string_view::npos)
    return MessageKind::notJSON;
  MessageShape shape;
  if (!nlohmann::json::sax_parse(body.begin(), body.end(), &shape))
    return MessageKind::notJSON;
  if (!shape.isObject)
    return MessageKind::invalid;
  if (shape.hasMethod)
    return !shape.methodIsString ? MessageKind::invalid
           : shape.hasID         ? MessageKind::request
                                 : MessageKind::notification;
  return shape.hasID && shape.hasOutcome ? MessageKind::response
                                         : MessageKind::invalid;
}

int main(const std::vector<std::string_view> &arguments) {
  auto parsed = parseOptions(arguments);
  if (const auto *problem = std::get_if<std::string>(&parsed)) {
    KanbanMCPServer::log(*problem);
    KanbanMCPServer::log(kUsage);
    return 2;
  }
  const Options options = std::get<Options>(std::move(parsed));
  occupyClosedStandardDescriptors();
  std::signal(SIGPIPE, SIG_IGN);
  // Every thread started from here on inherits the blocked signals; only
  // the wait below takes them, so a stop never interrupts a worker.
  sigset_t stopSignals;
  sigemptyset(&stopSignals);
  sigaddset(&stopSignals, SIGINT);
  sigaddset(&stopSignals, SIGTERM);
  pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);

  auto container = StartUp::openStore();
  if (!container)
    return 1;
  std::string token;
  std::optional<fs::path> tokenFile;
  if (!options.noAuth) {
    const auto directory = KanbanStore::groupContainer();
    if (!directory) {
      KanbanMCPServer::log("Kein Gruppen-Container für die Token-Datei: "
                           "weder XDG_DATA_HOME noch HOME ist bekannt.");
      return 1;
    }
    tokenFile = *directory / "http-token";
    try {
      token = HttpAccess::loadOrCreateToken(*tokenFile);
    } catch (const std::exception &error) {
      KanbanMCPServer::log(error.what());
      return 1;
    }
  }

  // One store connection per worker, so requests wait for each other only
  // where the store makes writers wait.
  StorePool pool(KanbanStore::storeURL(), std::move(container), kWorkers);
  Transport transport(options, std::move(token), pool);
  int port = options.port;
  const bool bound = port == 0
                         ? (port = transport.bind_to_any_port(options.host)) > 0
                         : transport.bind_to_port(options.host, port);
  if (!bound) {
    KanbanMCPServer::log(
        "HTTP: " + urlHost(options.host) + ":" + std::to_string(options.port) +
        " kann nicht geöffnet werden: " + std::strerror(errno));
    return 1;
  }
  transport.widenBacklog();
  KanbanMCPServer::log("MCP über HTTP: http://" + urlHost(options.host) + ":" +
                       std::to_string(port) + "/mcp");
  if (tokenFile)
    KanbanMCPServer::log("Token (Header „Authorization: Bearer <Token>“): " +
                         tokenFile->string());
  else
    KanbanMCPServer::log("Ohne Token (--no-auth): nur für lokale "
                         "Testwerkzeuge auf einem Rechner mit einem Benutzer.");

  // The listener ends on its own only when listening fails; it then raises
  // a stop signal itself, so the wait below ends either way.
  std::atomic<bool> failed{false};
  std::thread listener([&transport, &failed] {
    transport.listen_after_bind();
    if (!transport.stopRequested()) {
      failed = true;
      ::kill(::getpid(), SIGTERM);
    }
  });
  int signal = 0;
  while (::sigwait(&stopSignals, &signal) != 0) {
  }
  transport.beginStopping();
  // Closes the listening socket (once the listener has started to use it);
  // the listener then waits for its workers, which finish the requests in
  // flight.
  while (!failed && !transport.is_running())
    std::this_thread::sleep_for(milliseconds(10));
  transport.stop();
  listener.join();
  if (failed)
    KanbanMCPServer::log("HTTP: Verbindungen können nicht mehr angenommen "
                         "werden.");
  return failed ? 1 : 0;
}

} // namespace taskory::HttpServer
