#include "Http/BoardSite.h"

#include "Http/BoardPage.h"
#include "Http/BoardSession.h"
#include "Http/CardPage.h"
#include "Http/Gzip.h"
#include "Http/HttpAccess.h"
#include "Http/StorePool.h"
#include "Http/TokenFile.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"

#include <chrono>
#include <exception>
#include <new>
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

namespace {

Date now() {
  return std::chrono::duration<double>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

// Pages of a few kilobytes and more go gzip-compressed to a browser that
// takes it.
constexpr std::size_t kCompressFrom = 1024;

HttpResponse compressedFor(const HttpRequest &request, HttpResponse response) {
  if (response.body.size() < kCompressFrom)
    return response;
  response.set("Vary", "Accept-Encoding");
  if (!acceptsGzip(request.header("Accept-Encoding")))
    return response;
  if (auto packed = gzipped(response.body)) {
    response.body = std::move(*packed);
    response.set("Content-Encoding", "gzip");
  }
  return response;
}

} // namespace

HttpResponse BoardSite::serve(const HttpRequest &request,
                              const Secrets *secrets) {
  return compressedFor(request, answer(request, secrets));
}

HttpResponse BoardSite::answer(const HttpRequest &request,
                               const Secrets *secrets) {
  if (auto locked = lock(request, secrets))
    return std::move(*locked);
  const bool counter = request.path == "/changes";
  std::optional<std::string> problem = changes_.replacedNotice();
  if (!problem) {
    try {
      if (request.path.starts_with("/card/"))
        return cardPage(request);
      if (!counter)
        return page(request);
      HttpResponse response;
      response.set("Cache-Control", "no-store");
      response.setContent(std::to_string(changes_.version()), "text/plain");
      return response;
    } catch (const std::bad_alloc &) {
      throw;
    } catch (const std::exception &error) {
      problem = error.what();
    }
  }
  // A page address answers with a page, never with the endpoint's JSON; the
  // counter with the bare notice, which the open page shows as it is.
  HttpResponse response;
  response.status = 503;
  response.set("Cache-Control", "no-store");
  if (counter)
    response.setContent(*problem, "text/plain; charset=utf-8");
  else
    response.setContent(BoardPage::unavailablePage(*problem),
                        "text/html; charset=utf-8");
  return response;
}

HttpResponse BoardSite::cardPage(const HttpRequest &request) {
  const std::string id = percentDecoded(std::string_view(request.path).substr(6), false);
  const uint64_t version = changes_.version();
  StorePool::Lease lease = pool_.acquire();
  std::optional<std::string> page;
  {
    ModelContext context(lease.container(), "mcp", ContextAccess::readOnly);
    page = BoardPage::renderCard(context, lease.calendar(), now(), id, version);
  }
  HttpResponse response = pageResponse(page ? std::move(*page)
                                            : BoardPage::missingCardPage());
  if (!page)
    response.status = 404;
  return response;
}

HttpResponse BoardSite::page(const HttpRequest &request) {
  const BoardPage::Request wanted = BoardPage::requestFrom(
      [&request](std::string_view name) { return request.param(name); });
  // Read before the snapshot begins: a change that lands in between makes
  // the page fetch itself once more, never miss the change.
  const uint64_t version = changes_.version();
  StorePool::Lease lease = pool_.acquire();
  std::string page;
  {
    ModelContext context(lease.container(), "mcp", ContextAccess::readOnly);
    page = BoardPage::render(context, lease.calendar(), now(), wanted, version);
  }
  return pageResponse(std::move(page));
}

HttpResponse BoardSite::pageResponse(std::string page) {
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
