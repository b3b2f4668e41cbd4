#pragma once

#include "Http/Message.h"

#include <string>
#include <string_view>

namespace taskory::HttpServer {

class StorePool;

// What a person changes on the board: quick add, a card's fields,
// checklist, place, completion, archiving and deletion; plans and buckets
// through Http/PlanEdits.h. Every change is the tool
// call that the assistant would make for it (create_card, update_card,
// set_checklist_item, add_checklist_item, delete_card), in a transaction of
// the author "app", so the page and the tools never disagree about what a
// change means; a failed one leaves the store as it was and shows the
// tools' German message. Answers by post/redirect/get. Called only with
// requests the board site has checked (cookie, origin, form token); runs in
// the service's line of writers.
class BoardEdits {
public:
  explicit BoardEdits(StorePool &pool) : pool_(pool) {}

  // /add, /card/<id>/<action> and the paths of PlanEdits, whatever the
  // method.
  static bool isChangePath(std::string_view path);

  // The redirect after a change (303), the page of a failure (422), the
  // question a deletion asks first, or the page of a conflict (409) when
  // another program changed a field the form changes since it was shown.
  HttpResponse apply(const HttpRequest &request, std::string_view formToken);

private:
  StorePool &pool_;
};

} // namespace taskory::HttpServer
