#pragma once

#include "Http/BoardEdits.h"
#include "Http/ChangeWatch.h"
#include "Http/Message.h"

#include <optional>
#include <string>

namespace taskory::HttpServer {

class StorePool;
struct Secrets;

// The board site: GET / is the board page (Http/BoardPage.h), GET
// /card/<id> a card's page (Http/CardPage.h), GET /changes the change
// counter; POSTs to /add and /card/<id>/<action> are a person's changes
// (Http/BoardEdits.h). A browser is let in by the cookie that the address
// printed at start trades its key for, or by the bearer token; the key
// itself opens nothing but that trade. A change needs the cookie, the same
// origin and the form token of the page it came from. Safe from any
// thread.
class BoardSite {
public:
  // `port` names the cookie (BoardSession::cookieName).
  BoardSite(StorePool &pool, int port, bool noAuth);

  // The answer to a request that isBoardRequest() took. `secrets` is null
  // when no token can be read or with --no-auth. Throws StoreError.
  HttpResponse serve(const HttpRequest &request, const Secrets *secrets);

private:
  // The answer before compression.
  HttpResponse answer(const HttpRequest &request, const Secrets *secrets);
  // The refusal, or the redirect that trades the address's key for the
  // cookie, when the request may not see the board itself.
  std::optional<HttpResponse> lock(const HttpRequest &request,
                                   const Secrets *secrets) const;
  HttpResponse page(const HttpRequest &request, const Secrets *secrets);
  HttpResponse cardPage(const HttpRequest &request, const Secrets *secrets);
  // A change request: refused with 403 unless it is a POST of a form of
  // ours, from our own origin, with the cookie; then applied.
  HttpResponse change(const HttpRequest &request, const Secrets *secrets);
  // The token the forms of a page carry; empty when none can be made.
  std::string formToken(const Secrets *secrets) const;
  // A page as the answer, with the headers every page carries.
  static HttpResponse pageResponse(std::string page);

  StorePool &pool_;
  const std::string cookieName_;
  const bool noAuth_;
  // Stands in for the cookie's secret under --no-auth, which has none.
  const std::string noAuthSecret_;
  ChangeWatch changes_;
  BoardEdits edits_;
};

} // namespace taskory::HttpServer
