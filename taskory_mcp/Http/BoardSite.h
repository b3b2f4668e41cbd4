#pragma once

#include "Http/ChangeWatch.h"
#include "Http/Message.h"

#include <optional>
#include <string>

namespace taskory::HttpServer {

class StorePool;
struct Secrets;

// The board site: GET / is the board page (Http/BoardPage.h), GET
// /card/<id> a card's page (Http/CardPage.h), GET /changes the change
// counter. A browser is let in by the cookie that the address
// printed at start trades its key for, or by the bearer token; the key
// itself opens nothing but that trade. Only reads: nothing here changes the
// store. Safe from any thread.
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
  HttpResponse page(const HttpRequest &request);
  HttpResponse cardPage(const HttpRequest &request);
  // A page as the answer, with the headers every page carries.
  static HttpResponse pageResponse(std::string page);

  StorePool &pool_;
  const std::string cookieName_;
  const bool noAuth_;
  ChangeWatch changes_;
};

} // namespace taskory::HttpServer
