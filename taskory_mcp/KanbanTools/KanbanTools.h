#pragma once

#include "KanbanCore/Types.h"

#include <nlohmann/json.hpp>

#include <string>
#include <string_view>
#include <variant>

namespace taskory {

class Calendar;
class ModelContainer;
class ModelContext;

// What a handler returns: a finished text, or a JSON value that encode()
// turns into text.
using ToolResult = std::variant<std::string, nlohmann::json>;

// The tool layer: one object per tools/call, over that call's model context.
// Handlers throw ToolError for user-facing failures; store failures pass
// through as StoreError. Only call() saves, once, after a handler succeeded.
class KanbanTools {
public:
  // `now` is the call's clock reading, fixed for the whole call so tests can
  // pin it. `calendar` is the user's, one per process: it is held, not
  // copied, and must outlive this object.
  KanbanTools(ModelContext &context, Date now, const Calendar &calendar);
  KanbanTools(ModelContext &context, Date now, Calendar &&calendar) = delete;

  // The catalogue served by tools/list, built once per process.
  static const nlohmann::json &specs();

  // Whether the named tool only reads the store. Every path that runs tools
  // opens such a call's context read-only: a read snapshot that answers at
  // once while another program holds the write lock. An unknown name counts
  // as reading; it fails before it touches the store.
  static bool onlyReads(std::string_view name);

  // Runs the schema guard, the named tool and the save; returns the result
  // text. Throws ToolError (unknown tool, the guard, a handler's error) or
  // StoreError.
  std::string call(std::string_view name, const nlohmann::json &arguments);

  // One tools/call as both transports run it: in a fresh context with the
  // author "mcp", at the current time and in `calendar` (the user's); a tool
  // that only reads gets a read-only context. The context is discarded
  // afterwards, so a failed call leaves nothing behind. Throws whatever the
  // context or the tool throws.
  static std::string callInOwnContext(ModelContainer &container,
                                      const Calendar &calendar,
                                      std::string_view name,
                                      const nlohmann::json &arguments);

  // Compact JSON with sorted keys, "/" unescaped, invalid UTF-8 replaced.
  static std::string encode(ToolResult result);

private:
  ModelContext &context_;
  const Date now_;
  const Calendar &calendar_;
};

} // namespace taskory
