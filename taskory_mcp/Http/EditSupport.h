#pragma once

#include "Http/Message.h"
#include "Http/StorePool.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Types.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>

// What the board's changes share (Http/BoardEdits.h, Http/PlanEdits.h): one
// transaction of the author "app", and the answers after a change.
namespace taskory::HttpServer::edits {

// Tool calls and direct changes in one transaction of the author "app":
// call() saves when its tool succeeds, save() what was changed directly.
class Change {
public:
  explicit Change(StorePool &pool);

  ModelContext &context() { return context_; }
  const Calendar &calendar() { return lease_.calendar(); }

  // The tool's answer text; throws ToolError or StoreError.
  std::string call(std::string_view tool, const nlohmann::json &arguments);
  void save();

private:
  StorePool::Lease lease_;
  ModelContext context_;
};

// Browsers send line breaks in a text area as CR LF.
std::string withoutCR(std::string text);

// The form's "back" when it is a path of this site, never another host
// ("//x", "/\x"); else `fallback`.
std::string backAddress(const HttpRequest &request, std::string fallback);

HttpResponse redirect(std::string location);

// A page of its own (a question, a conflict, a failure) with `status`.
HttpResponse page(int status, std::string_view title, const std::string &main);

// The tools' German message (422) with the way back.
HttpResponse failure(std::string_view message, std::string_view back);

// The question a deletion asks first: `what` goes, with `consequence`; the
// form posts to `action` again with confirmed=1.
HttpResponse askBeforeDeleting(std::string_view what,
                               std::string_view consequence,
                               std::string_view action, std::string_view cancel,
                               const HttpRequest &request,
                               std::string_view formToken);

} // namespace taskory::HttpServer::edits
