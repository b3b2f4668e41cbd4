#include "Http/EditSupport.h"

#include "Http/PageParts.h"
#include "KanbanCore/Clock.h"
#include "KanbanTools/KanbanTools.h"

#include <algorithm>
#include <utility>

namespace taskory::HttpServer::edits {
Change::Change(StorePool &pool)
    : lease_(pool.acquire()),
      context_(lease_.container(), "app", ContextAccess::readWrite) {}

std::string Change::call(std::string_view tool,
                         const nlohmann::json &arguments) {
  return KanbanTools(context_, currentTime(), lease_.calendar())
      .call(tool, arguments);
}

void Change::save() { context_.save(currentTime()); }

std::string withoutCR(std::string text) {
  std::erase(text, '\r');
  return text;
}

std::string backAddress(const HttpRequest &request, std::string fallback) {
  const std::string back = request.field("back");
  if (!back.empty() && back.front() == '/' &&
      (back.size() == 1 || (back[1] != '/' && back[1] != '\\')))
    return back;
  return fallback;
}

HttpResponse redirect(std::string location) {
  HttpResponse response;
  response.status = 303;
  response.set("Location", std::move(location));
  response.set("Cache-Control", "no-store");
  return response;
}

HttpResponse page(int status, std::string_view title, const std::string &main) {
  HttpResponse response;
  response.status = status;
  response.set("Cache-Control", "no-store");
  response.setContent(BoardPage::document(title, 0, main, false),
                      "text/html; charset=utf-8");
  return response;
}

HttpResponse failure(std::string_view message, std::string_view back) {
  std::string main = "<h1>Nicht gespeichert</h1><p>Fehler: ";
  BoardPage::append(main, message);
  main += "</p><p><a href=\"";
  BoardPage::append(main, back);
  main += "\">Zurück</a></p>";
  return page(422, "Nicht gespeichert – Taskory", main);
}

HttpResponse askBeforeDeleting(std::string_view what,
                               std::string_view consequence,
                               std::string_view action, std::string_view cancel,
                               const HttpRequest &request,
                               std::string_view formToken) {
  std::string main = "<h1>";
  BoardPage::append(main, what);
  main += " löschen?</h1><p>";
  BoardPage::append(main, consequence);
  main += "</p><form method=\"post\" action=\"";
  BoardPage::append(main, action);
  main += "\">";
  BoardPage::appendHidden(main, "_token", formToken);
  BoardPage::appendHidden(main, "confirmed", "1");
  BoardPage::appendHidden(main, "back", request.field("back"));
  main += "<button type=\"submit\">Endgültig löschen</button> <a href=\"";
  BoardPage::append(main, cancel);
  main += "\">Abbrechen</a></form>";
  return page(200, std::string(what) + " löschen? – Taskory", main);
}

} // namespace taskory::HttpServer::edits
