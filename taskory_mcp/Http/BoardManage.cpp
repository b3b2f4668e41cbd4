#include "Http/BoardParts.h"

#include "Http/CardPage.h"
#include "Http/PageParts.h"
#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/CardHours.h"
#include "KanbanCore/CardQuery.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanCore/Uuid.h"
#include "KanbanTools/CardVocabulary.h"

#include <algorithm>
#include <map>
#include <optional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace taskory::BoardPage {
namespace {

void colourField(std::string &out, const std::optional<std::string> &colour) {
  out += "<label>Farbe <input name=\"color\" placeholder=\"#RRGGBB\" "
         "size=\"8\" value=\"";
  append(out, colour.value_or(""));
  out += "\"></label>";
}

} // namespace

// Plans and buckets, under the columns: new ones, names, colours, the
// favourite mark, and deleting (asked first, with what goes along).
void appendManage(std::string &out, const Plan &plan,
                  const std::vector<Bucket *> &buckets,
                  const Request &request) {
  const std::string &token = request.formToken;
  const std::string back = "/?view=board&plan=" + urlEncoded(plan.id);
  const std::string planPath = "/plan/" + urlEncoded(plan.id);
  out += "<details class=\"manage\"><summary>Plan und Buckets "
         "bearbeiten</summary>";
  appendChangeFormStart(out, planPath + "/save", "Plan", token, back);
  out += "<label>Titel <input name=\"title\" required value=\"";
  append(out, plan.title);
  out += "\"></label>";
  colourField(out, plan.colorHex);
  out += "<label><input type=\"checkbox\" name=\"favorite\" value=\"1\"";
  out += plan.isFavorite ? " checked" : "";
  out += "> Favorit</label><button type=\"submit\">Speichern</button></form>";
  for (const Bucket *bucket : buckets) {
    const std::string path = "/bucket/" + urlEncoded(bucket->id);
    appendChangeFormStart(out, path + "/save", "Bucket " + bucket->name, token, back);
    out += "<label>Bucket <input name=\"name\" required value=\"";
    append(out, bucket->name);
    out += "\"></label>";
    colourField(out, bucket->colorHex);
    out += "<button type=\"submit\">Speichern</button></form>";
    appendChangeFormStart(out, path + "/delete", "Bucket " + bucket->name + " löschen",
               token, back);
    out += "<button type=\"submit\">Bucket löschen</button></form>";
  }
  appendChangeFormStart(out, planPath + "/bucket", "Bucket anlegen", token, back);
  out += "<label>Neuer Bucket <input name=\"name\" required></label>";
  colourField(out, std::nullopt);
  out += "<button type=\"submit\">Bucket anlegen</button></form>";
  appendChangeFormStart(out, "/plan/new", "Plan anlegen", token, back);
  out += "<label>Neuer Plan <input name=\"title\" required></label>"
         "<button type=\"submit\">Plan anlegen</button></form>";
  appendChangeFormStart(out, planPath + "/delete", "Plan löschen", token, back);
  out += "<button type=\"submit\">Plan löschen</button></form></details>";
}

} // namespace taskory::BoardPage
