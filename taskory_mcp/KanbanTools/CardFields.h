#pragma once

#include <nlohmann/json.hpp>

// The card fields that create_card and update_card share. Each function reads
// its arguments with the typed readers (a value of another JSON type counts
// as absent) and throws the ToolError of the first bad value; the caller's
// context is then discarded unsaved, so a half-applied change never lands.
namespace taskory {

class ModelContext;
struct Card;
struct ToolCall;

// notes, due_date, start_date, planned_date, priority, color_hex, labels,
// goals and recurrence. labels and goals replace the card's whole set.
void applyCommonFields(const ToolCall &call, const nlohmann::json &args,
                       Card &card);
// The same in two steps, for a new card: its own columns, which are set
// before it is stored (one row written instead of a row and its change), and
// then what needs the stored card.
void applyCardColumns(const ToolCall &call, const nlohmann::json &args,
                      Card &card);
void applyLinksAndRecurrence(const ToolCall &call, const nlohmann::json &args,
                             Card &card);

// status, through the same completion rules the applications apply.
void applyStatus(const ToolCall &call, const nlohmann::json &args, Card &card);

// What a list of label names or goal titles does to the card's links.
enum class LinkChange {
  replace, // exactly the named ones afterwards
  add,     // the named ones added to those there are
  remove,  // the named ones among the card's own dropped
};
enum class LinkKind { labels, goals };

// Links the card to the labels or goals of its plan that `names` (a JSON
// array; other elements than strings skipped) name, compared as names. A
// name not in the plan is a ToolError for replace and add; remove ignores
// it. A card without a plan has nothing to link to, so replace and add leave
// it alone.
void changeLinks(ModelContext &context, Card &card, LinkKind kind,
                 LinkChange change, const nlohmann::json &names);

} // namespace taskory
