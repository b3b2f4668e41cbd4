#include "Http/BoardSite.h"

#include "Http/BoardPage.h"
#include "Http/BoardSession.h"
#include "Http/HttpAccess.h"
#include "Http/StorePool.h"
#include "Http/TokenFile.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"

#include <chrono>
#include <optional>
#include <utility>

namespace taskory::HttpServer {

BoardSite::BoardSite(StorePool &pool, int port, bool noAuth)
    : pool_(pool), cookieName_(BoardSession::cookieName(port)),
      noAuth_(noAuth), changes_(KanbanStore::storeURL()) {}

std::optional<HttpResponse> BoardSite::lock(const HttpRequest &request,
                                            const Secrets *secrets) const {
  if (noAuth_)
    return std::nullopt;
  HttpResponse response;
  response.set("Cache-Control", "no-store");
  if (secrets && request.path == "/" && request.hasParam("key") &&
      HttpAccess::equalInConstantTime(request.param("key"),
                                      secrets->boardKey)) {
    // The address with the key is opened once; after the redirect it is
    // neither in the address bar nor in the history.
    response.status = 303;
    response.set("Set-Cookie",
                 BoardSession::setCookie(cookieName_, secrets->sessionSecret));
    response.set("Location", "/");
    response.set("Referrer-Policy", "no-referrer");
    return response;
  }
  if (secrets &&
      (BoardSession::carriesSecret(request.header("Cookie"), cookieName_,
                                   secrets->sessionSecret) ||
       HttpAccess::carriesToken(request.header("Authorization"),
                                secrets->token)))
    return std::nullopt;
  response.status = 401;
  response.setContent(BoardPage::lockedPage(), "text/html; charset=utf-8");
  return response;
}

HttpResponse BoardSite::serve(const HttpRequest &request,
                              const Secrets *secrets) {
  if (auto locked = lock(request, secrets))
    return std::move(*locked);
  if (request.path == "/changes") {
    HttpResponse response;
    response.set("Cache-Control", "no-store");
    response.setContent(std::to_string(changes_.version()), "text/plain");
    return response;
  }
  return page(request);
}

HttpResponse BoardSite::page(const HttpRequest &request) {
  const BoardPage::Request wanted = BoardPage::requestFrom(
      request.param("view"), request.param("plan"), request.param("done"));
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
  HttpResponse response;
  response.set("Cache-Control", "no-store");
  response.set("Referrer-Policy", "no-referrer");
  response.set("X-Content-Type-Options", "nosniff");
  response.set("X-Frame-Options", "DENY");
  // Inline style and script only: nothing is fetched from anywhere else.
  response.set("Content-Security-Policy",
               "default-src 'none'; style-src 'unsafe-inline'; "
               "script-src 'unsafe-inline'; connect-src 'self'; "
               "form-action 'self'; frame-ancestors 'none'");
  response.setContent(std::move(page), "text/html; charset=utf-8");
  return response;
}

} // namespace taskory::HttpServer
