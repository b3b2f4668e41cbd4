#include "KanbanTools/ToolHandlers.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/Resolution.h"

#include <string>

namespace taskory::handlers {

ToolResult getCard(const ToolCall &call, const nlohmann::json &arguments) {
  const Card &card = resolution::requireCard(call.context, arguments);
  if (wantsJSON(arguments))
    return cardJSON(call.context, card, call.now, call.calendar, true);
  return cardDetailText(call.context, card, call.now, call.calendar);
}

} // namespace taskory::handlers
