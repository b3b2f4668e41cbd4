#include "Http/Transport.h"

#include "Http/BoardPage.h"
#include "Http/BoardSession.h"
#include "Http/BodyLimit.h"
#include "Http/Connection.h"
#include "Http/HttpAccess.h"
#include "Http/Refusal.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanTools/KanbanTools.h"
#include "Server/JsonRpcReader.h"
#include "Server/KanbanMCPServer.h"

#include <nlohmann/json.hpp>

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <sys/socket.h>
#include <utility>

namespace taskory::HttpServer {
namespace {

using std::chrono::milliseconds;

// A connection waits this long, without a worker, for its next request.
constexpr milliseconds kKeepAlive{5000};
// A client that sends its next request right after an answer usually has
// it here within this time; waiting that long on the worker spares the
// hand-over to the idle watcher and back.
constexpr milliseconds kBriefWait{2};

} // namespace

Transport::Transport(const HttpServer::Options &options, std::string token,
                     StorePool &pool)
    : screen_(options, token), noAuth_(options.noAuth), token_(token),
      sessionSecret_(BoardSession::secretFor(token)),
      changes_(KanbanStore::storeURL()), pool_(pool), idle_([this](int fd) {
        workers_->enqueue([this, fd] { serve(fd, kKeepAlive); });
      }) {
  // The library owns the pool and ends it when listening ends; by then the
  // idle connections are stopped and resume nothing into it.
  new_task_queue = [this] {
    workers_ = new httplib::ThreadPool(kWorkers);
    return workers_;
  };
  set_keep_alive_timeout(kKeepAlive.count() / 1000);
  set_payload_max_length(kMaxBodyBytes);
  // Without SO_REUSEPORT, which the library's default would add: a second
  // server on the same port must fail, not share the clients. Binding tries
  // one socket per address the host resolves to; the last one is bound.
  set_socket_options([this](socket_t socket) {
    const int yes = 1;
    ::setsockopt(socket, SOL_SOCKET, SO_REUSEADDR, &yes, sizeof yes);
    listening_ = socket;
  });
  set_pre_routing_handler(
      [this](const httplib::Request &request, httplib::Response &response) {
        return screen_.refuses(request, response) ? HandlerResponse::Handled
                                                  : HandlerResponse::Unhandled;
      });
  // A client that waits for "100 Continue" before sending its body is
  // screened first, so a refusal costs it no upload.
  set_expect_100_continue_handler(
      [this](const httplib::Request &request, httplib::Response &response) {
        return screen_.refuses(request, response) ? response.status : 100;
      });
  // The body is gathered here rather than by the library, which would take
  // a chunked or compressed body without limit.
  Post("/mcp", [this](const httplib::Request &, httplib::Response &response,
                      const httplib::ContentReader &read) {
    std::string body;
    switch (readBody(read, body)) {
    case BodyRead::tooLarge:
      return refuse(response, 413, kTransportError, tooLargeMessage());
    case BodyRead::incomplete:
      return refuse(response, 400, kInvalidRequest, "Anfrage unvollständig");
    case BodyRead::complete:
      return answer(body, response);
    }
  });
  // Only reads: nothing on the board's side changes the store.
  Get("/",
      [this](const httplib::Request &request, httplib::Response &response) {
        if (admitsToBoard(request, response))
          serveBoard(request, response);
      });
  Get("/changes",
      [this](const httplib::Request &request, httplib::Response &response) {
        if (!admitsToBoard(request, response))
          return;
        response.set_header("Cache-Control", "no-store");
        response.set_content(std::to_string(changes_.version()), "text/plain");
      });
  // Statuses the library sets itself (a malformed request line or header):
  // the same JSON error shape, and the connection closed, as the request
  // may not have been read to its end.
  set_error_handler(HandlerWithResponse([](const httplib::Request &,
                                           httplib::Response &response) {
    if (response.body.empty())
      refuse(response, response.status,
             response.status == 413 ? kTransportError : kInvalidRequest,
             response.status == 413 ? tooLargeMessage() : "Ungültige Anfrage");
    else if (!response.has_header("Connection"))
      response.set_header("Connection", "close");
    return HandlerResponse::Handled;
  }));
  set_exception_handler([](const httplib::Request &,
                           httplib::Response &response, std::exception_ptr) {
    refuse(response, 500, kInternalError, "Interner Fehler");
  });
}

bool Transport::admitsToBoard(const httplib::Request &request,
                              httplib::Response &response) const {
  if (noAuth_)
    return true;
  if (request.has_param("token") && request.path == "/" &&
      HttpAccess::equalInConstantTime(request.get_param_value("token"),
                                      token_)) {
    // The address with the token is opened once; after the redirect it is
    // neither in the address bar nor in the history.
    response.status = 303;
    response.set_header("Set-Cookie", BoardSession::setCookie(sessionSecret_));
    response.set_header("Location", "/");
    response.set_header("Cache-Control", "no-store");
    response.set_header("Referrer-Policy", "no-referrer");
    return false;
  }
  if (BoardSession::carriesSecret(request.get_header_value("Cookie"),
                                  sessionSecret_) ||
      HttpAccess::carriesToken(request.get_header_value("Authorization"),
                               token_))
    return true;
  response.status = 401;
  response.set_header("Cache-Control", "no-store");
  response.set_content(BoardPage::lockedPage(), "text/html; charset=utf-8");
  return false;
}

void Transport::serveBoard(const httplib::Request &request,
                           httplib::Response &response) {
  const BoardPage::Request wanted = BoardPage::requestFrom(
      request.get_param_value("view"), request.get_param_value("plan"),
      request.get_param_value("done"));
  // Read before the snapshot begins: a change that lands in between makes
  // the page fetch itself once more, never miss the change.
  const uint64_t version = changes_.version();
  StorePool::Lease lease = pool_.acquire();
  const Date now = std::chrono::duration<double>(
                       std::chrono::system_clock::now().time_since_epoch())
                       .count();
  std::string page;
  {
    ModelContext context(lease.container(), "mcp", ContextAccess::readOnly);
    page = BoardPage::render(context, lease.calendar(), now, wanted, version);
  }
  response.status = 200;
  response.set_header("Cache-Control", "no-store");
  response.set_header("Referrer-Policy", "no-referrer");
  response.set_header("X-Content-Type-Options", "nosniff");
  response.set_header("X-Frame-Options", "DENY");
  // Inline style and script only: nothing is fetched from anywhere else.
  response.set_header("Content-Security-Policy",
                      "default-src 'none'; style-src 'unsafe-inline'; "
                      "script-src 'unsafe-inline'; connect-src 'self'; "
                      "form-action 'self'; frame-ancestors 'none'");
  response.set_content(std::move(page), "text/html; charset=utf-8");
}

void Transport::widenBacklog() {
  if (listening_ != INVALID_SOCKET)
    ::listen(listening_, SOMAXCONN);
}

void Transport::beginStopping() {
  stopping_ = true;
  idle_.stop();
}

bool Transport::process_and_close_socket(socket_t socket) {
  // An answer leaves in two writes (head, body); without this the second
  // would wait for the client's delayed acknowledgement of the first.
  const int yes = 1;
  ::setsockopt(socket, IPPROTO_TCP, TCP_NODELAY, &yes, sizeof yes);
  serve(socket, Connection::kReadTimeout);
  return true;
}

void Transport::serve(int fd, milliseconds patience) {
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

void Transport::answer(std::string_view received, httplib::Response &response) {
  // Read exactly as the stdio loop reads a line, so that a message gets the
  // same answer over both transports.
  const KanbanMCPServer::Message message =
      KanbanMCPServer::readMessage(received);
  switch (message.kind) {
  case KanbanMCPServer::MessageKind::notJSON:
    return refuse(response, 400, kParseError, "Ungültiges JSON");
  case KanbanMCPServer::MessageKind::invalid:
    return refuse(response, 400, kInvalidRequest,
                  "Keine einzelne JSON-RPC-Nachricht");
  case KanbanMCPServer::MessageKind::notification:
  case KanbanMCPServer::MessageKind::response:
    response.status = 202;
    return;
  case KanbanMCPServer::MessageKind::request:
    break;
  }
  // The store connection is taken at the first tool call only: initialize,
  // ping and tools/list need none.
  std::optional<StorePool::Lease> lease;
  const KanbanMCPServer::ToolRunner runTool =
      [this, &lease](std::string_view name, const nlohmann::json &arguments) {
        if (!lease)
          lease.emplace(pool_.acquire());
        return KanbanTools::callInOwnContext(
            lease->container(), lease->calendar(), name, arguments);
      };
  response.status = 200;
  response.set_content(KanbanMCPServer::answer(message.request, runTool),
                       "application/json");
}

} // namespace taskory::HttpServer
