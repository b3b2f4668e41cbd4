#include "KanbanCore/Card.h"

#include "KanbanCore/Calendar.h"
#include "KanbanCore/Uuid.h"

#include <utility>

namespace taskory {

std::optional<Priority> priorityFromRawValue(int64_t raw) {
  switch (raw) {
  case 1:
    return Priority::urgent;
  case 3:
    return Priority::important;
  case 5:
    return Priority::medium;
  case 9:
    return Priority::low;
  default:
    return std::nullopt;
  }
}

Priority priorityFromRaw(int64_t raw) {
  constexpr Priority kByRank[] = {Priority::urgent, Priority::important,
                                  Priority::medium, Priority::low};
  std::size_t rank = 0;
  while (rank < kPriorityRankStarts.size() && raw >= kPriorityRankStarts[rank])
    ++rank;
  return kByRank[rank];
}

std::string_view localizedName(Priority p) {
  switch (p) {
  case Priority::urgent:
    return "Dringend";
  case Priority::important:
    return "Wichtig";
  case Priority::medium:
    return "Mittel";
  case Priority::low:
    return "Niedrig";
  }
  return "Mittel";
}

std::string_view systemImage(Priority p) {
  switch (p) {
  case Priority::urgent:
    return "exclamationmark.circle.fill";
  case Priority::important:
    return "exclamationmark.circle";
  case Priority::medium:
    return "equal.circle";
  case Priority::low:
    return "arrow.down.circle";
  }
  return "equal.circle";
}

int priorityIndex(Priority p) {
  switch (p) {
  case Priority::urgent:
    return 0;
  case Priority::important:
    return 1;
  case Priority::medium:
    return 2;
  case Priority::low:
    return 3;
  }
  return 2;
}

std::optional<CardProgress> progressFromRawValue(int64_t raw) {
  switch (raw) {
  case 0:
    return CardProgress::notStarted;
  case 50:
    return CardProgress::inProgress;
  case 100:
    return CardProgress::completed;
  default:
    return std::nullopt;
  }
}

CardProgress progressFromPercent(int64_t percentComplete) {
  if (percentComplete < kInProgressFromPercent)
    return CardProgress::notStarted;
  if (percentComplete < kCompletedFromPercent)
    return CardProgress::inProgress;
  return CardProgress::completed;
}

PercentRange percentRange(CardProgress p) {
  switch (p) {
  case CardProgress::notStarted:
    return {std::nullopt, kInProgressFromPercent - 1};
  case CardProgress::inProgress:
    return {kInProgressFromPercent, kCompletedFromPercent - 1};
  case CardProgress::completed:
    return {kCompletedFromPercent, std::nullopt};
  }
  return {};
}

std::string_view localizedName(CardProgress p) {
  switch (p) {
  case CardProgress::notStarted:
    return "Nicht begonnen";
  case CardProgress::inProgress:
    return "In Bearbeitung";
  case CardProgress::completed:
    return "Abgeschlossen";
  }
  return "Nicht begonnen";
}

std::string_view systemImage(CardProgress p) {
  switch (p) {
  case CardProgress::notStarted:
    return "circle";
  case CardProgress::inProgress:
    return "circle.lefthalf.filled";
  case CardProgress::completed:
    return "checkmark.circle.fill";
  }
  return "circle";
}

std::string_view rawValue(CardPreview p) {
  switch (p) {
  case CardPreview::noPreview:
    return "noPreview";
  case CardPreview::checklist:
    return "checklist";
  case CardPreview::descriptionText:
    return "descriptionText";
  case CardPreview::automatic:
    break;
  }
  return "automatic";
}

CardPreview previewFromRaw(std::string_view raw) {
  if (raw == "noPreview")
    return CardPreview::noPreview;
  if (raw == "checklist")
    return CardPreview::checklist;
  if (raw == "descriptionText")
    return CardPreview::descriptionText;
  return CardPreview::automatic;
}

Card::Card(std::string title, double sortOrder, Date now)
    : id(makeUUID()), title(std::move(title)), sortOrder(sortOrder),
      createdAt(now), modifiedAt(now) {}

bool isLate(const Card &card, Date now, const Calendar &calendar) {
  if (!card.dueDate || card.progress() == CardProgress::completed)
    return false;
  return *card.dueDate < calendar.startOfDay(now);
}

} // namespace taskory
