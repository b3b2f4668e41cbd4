#pragma once

#include "Http/EditSupport.h"
#include "Http/Message.h"

#include <string_view>

// A person's changes to plans and buckets on the board: a new plan or
// bucket (create_plan, create_bucket), a bucket's name and colour
// (update_bucket), a plan's title, colour and favourite mark, and deleting a
// bucket or plan with what goes with it (the store's delete rules), each
// asked first. Called by BoardEdits with a checked request.
namespace taskory::HttpServer::PlanEdits {

// /plan/new, /plan/<id>/<action> and /bucket/<id>/<action>.
bool isChangePath(std::string_view path);

HttpResponse apply(edits::Change &change, const HttpRequest &request,
                   std::string_view formToken);

} // namespace taskory::HttpServer::PlanEdits
