#pragma once

#include "KanbanCore/Types.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A card's whole story as a page of its own (/card/<id>): title, notes,
// checklist, attachments, dates with the tools' lateness rule, recurrence,
// goals, labels, bucket, plan, and the short ID to tell the assistant.
// Reads only.
namespace taskory {
class Calendar;
class ModelContext;
} // namespace taskory

namespace taskory::BoardPage {

// The address of a card's page.
std::string cardAddress(std::string_view cardID);

// The page of the card with that stored id; nothing when there is none.
// With a `formToken`, the page edits the card (Http/BoardEdits.h): every
// form carries the values it showed, so that a change another program made
// since is noticed, not overwritten. Throws StoreError.
std::optional<std::string> renderCard(ModelContext &context,
                                      const Calendar &calendar, Date now,
                                      std::string_view cardID,
                                      uint64_t changeVersion,
                                      std::string_view formToken = {});

// The page for an id that names no card (status 404).
std::string missingCardPage();

} // namespace taskory::BoardPage
