#include "KanbanTools/KanbanTools.h"

#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"

#include <string>

namespace taskory {

ToolResult KanbanTools::getCard(const nlohmann::json &arguments) {
  const Card &card = requireCard(arguments);
  if (const std::string *format = args::string(arguments, "format");
      format && text::lowercased(*format) == "json")
    return cardJSON(context(), card, now(), calendar(), true);
  return cardDetailText(context(), card, now(), calendar());
}

} // namespace taskory
