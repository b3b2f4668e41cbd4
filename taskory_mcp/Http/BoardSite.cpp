#include "Http/BoardSite.h"

#include "Http/BoardPage.h"
#include "Http/BoardSession.h"
#include "Http/CardPage.h"
#include "Http/Gzip.h"
#include "Http/HttpAccess.h"
#include "Http/StorePool.h"
#include "Http/TokenFile.h"
#include "KanbanCore/Clock.h"
#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"

#include <exception>
#include <new>
#include <optional>
#include <utility>

namespace taskory::HttpServer {

BoardSite::BoardSite(StorePool &pool, int port, bool noAuth)
    : pool_(pool), cookieName_(BoardSession::cookieName(port)), noAuth_(noAuth),
      noAuthSecret_(noAuth ? HttpAccess::randomToken() : std::string()),
      changes_(KanbanStore::storeURL()), edits_(pool) {}

std::string BoardSite::formToken(const Secrets *secrets) const {
  if (noAuth_)
    return BoardSession::formTokenFor(noAuthSecret_);
  return secrets ? BoardSession::formTokenFor(secrets->sessionSecret)
                 : std::string();
}

namespace {

HttpResponse forbidden(std::string_view reason) {
  HttpResponse response;
  response.status = 403;
  response.close = true;
  response.set("Cache-Control", "no-store");
  response.setContent(BoardPage::unavailablePage(reason),
                      "text/html; charset=utf-8");
  return response;
}

// The page that sent a form is of this site: its Origin (or, from browsers
// that send none, its Referer) names the host the request was sent to.
bool fromOurOrigin(const HttpRequest &request) {
  const std::string own = "http://" + std::string(request.header("Host"));
  if (request.hasHeader("Origin"))
    return text::equalIgnoringASCIICase(request.header("Origin"), own);
  const std::string_view referer = request.header("Referer");
  return referer.size() > own.size() &&
         text::equalIgnoringASCIICase(referer.substr(0, own.size()), own) &&
         referer[own.size()] == '/';
}

} // namespace

HttpResponse BoardSite::change(const HttpRequest &request,
                               const Secrets *secrets) {
  if (request.method != "POST")
    return forbidden("Änderungen nur per Formular (POST).");
  if (!fromOurOrigin(request))
    return forbidden("Änderungen nur von den Seiten dieses Boards.");
  if (!noAuth_ && !(secrets && BoardSession::carriesSecret(
                                   request.header("Cookie"), cookieName_,
                                   secrets->sessionSecret)))
    return forbidden("Anmeldung abgelaufen – bitte die Board-Adresse aus der "
                     "Startmeldung des Servers neu öffnen.");
  const std::string token = formToken(secrets);
  if (!request.isForm() || token.empty() ||
      !HttpAccess::equalInConstantTime(request.field("_token"), token))
    return forbidden("Das Formular ist veraltet – bitte die Seite neu laden.");
  return edits_.apply(request, token);
}

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
  if (BoardEdits::isChangePath(request.path)) {
    if (auto problem = changes_.replacedNotice())
      return forbidden(*problem);
    return change(request, secrets);
  }
  if (auto locked = lock(request, secrets))
    return std::move(*locked);
  const bool counter = request.path == "/changes";
  std::optional<std::string> problem = changes_.replacedNotice();
  if (!problem) {
    try {
      if (request.path.starts_with("/card/"))
        return cardPage(request, secrets);
      if (!counter)
        return page(request, secrets);
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

HttpResponse BoardSite::cardPage(const HttpRequest &request,
                                 const Secrets *secrets) {
  const std::string id =
      percentDecoded(std::string_view(request.path).substr(6), false);
  const uint64_t version = changes_.version();
  StorePool::Lease lease = pool_.acquire();
  std::optional<std::string> page;
  {
    ModelContext context(lease.container(),
                         std::string(KanbanStore::Author::mcp),
                         ContextAccess::readOnly);
    page = BoardPage::renderCard(context, lease.calendar(), currentTime(), id,
                                 version, formToken(secrets));
  }
  HttpResponse response =
      pageResponse(page ? std::move(*page) : BoardPage::missingCardPage());
  if (!page)
    response.status = 404;
  return response;
}

HttpResponse BoardSite::page(const HttpRequest &request,
                             const Secrets *secrets) {
  BoardPage::Request wanted = BoardPage::requestFrom(
      [&request](std::string_view name) { return request.param(name); });
  wanted.formToken = formToken(secrets);
  // "A:B" in milliseconds: this browser opened the board at B, and the time
  // before at A. A page opened now marks what the assistant changed since B;
  // its live updates, fetched by its script, keep marking since the same
  // time.
  const std::string seenName =
      "taskory_seen_" + cookieName_.substr(cookieName_.rfind('_') + 1);
  const std::string_view seen =
      BoardSession::cookieValue(request.header("Cookie"), seenName);
  const auto number = [](std::string_view text) -> std::optional<Date> {
    if (text.empty() ||
        text.find_first_not_of("0123456789") != std::string_view::npos ||
        text.size() > 15)
      return std::nullopt;
    return static_cast<Date>(std::stoll(std::string(text))) / 1000;
  };
  const std::size_t colon = seen.find(':');
  const std::optional<Date> before = colon == std::string_view::npos
                                         ? std::nullopt
                                         : number(seen.substr(0, colon));
  const std::optional<Date> opened = colon == std::string_view::npos
                                         ? std::nullopt
                                         : number(seen.substr(colon + 1));
  const bool navigation = request.header("Sec-Fetch-Mode") == "navigate";
  wanted.lastLooked = navigation ? opened : before;
  std::optional<std::string> setSeen;
  if (navigation) {
    const auto millis = [](Date when) {
      return std::to_string(static_cast<int64_t>(when * 1000));
    };
    const std::string current = millis(currentTime());
    setSeen = seenName + "=" + (opened ? millis(*opened) : current) + ":" +
              current + "; Path=/; HttpOnly; SameSite=Strict; Max-Age=31536000";
  }
  // Read before the snapshot begins: a change that lands in between makes
  // the page fetch itself once more, never miss the change.
  const uint64_t version = changes_.version();
  StorePool::Lease lease = pool_.acquire();
  std::string page;
  {
    ModelContext context(lease.container(),
                         std::string(KanbanStore::Author::mcp),
                         ContextAccess::readOnly);
    page = BoardPage::render(context, lease.calendar(), currentTime(), wanted,
                             version);
  }
  HttpResponse response = pageResponse(std::move(page));
  if (setSeen)
    response.set("Set-Cookie", *setSeen);
  return response;
}

HttpResponse BoardSite::pageResponse(std::string page) {
  HttpResponse response;
  response.set("Cache-Control", "no-store");
  // Not "no-referrer": under it a browser sends "Origin: null" with the
  // page's own form posts, which could then not be told from a foreign one.
  response.set("Referrer-Policy", "same-origin");
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
