#pragma once

#include "KanbanCore/RecurrenceRule.h"
#include "KanbanCore/Types.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace taskory {

class Calendar;

enum class Priority : int64_t {
  urgent = 1,
  important = 3,
  medium = 5,
  low = 9
};

// Exactly 1, 3, 5 or 9; nothing for any other number.
std::optional<Priority> priorityFromRawValue(int64_t raw);
// The raw value at which important, medium and low begin: below 2 urgent,
// 2-4 important, 5-7 medium, 8 and above low. The typed view and the store's
// queries both rank by these.
inline constexpr std::array<int64_t, 3> kPriorityRankStarts{2, 5, 8};
// Never fails: ranks by kPriorityRankStarts.
Priority priorityFromRaw(int64_t raw);
std::string_view localizedName(Priority p);
std::string_view systemImage(Priority p);
// 0 for urgent ... 3 for low: the case's position.
int priorityIndex(Priority p);

enum class CardProgress : int64_t {
  notStarted = 0,
  inProgress = 50,
  completed = 100
};

std::optional<CardProgress> progressFromRawValue(int64_t raw);
// The stored percentage at which a card counts as in progress and as
// completed: below 50 not started, 50-99 in progress, 100 and above
// completed. The typed view, the card filters and the store's queries all
// read progress by these.
inline constexpr int64_t kInProgressFromPercent = 50;
inline constexpr int64_t kCompletedFromPercent = 100;
// Never fails: reads the bands above.
CardProgress progressFromPercent(int64_t percentComplete);
// The stored percentages a progress covers, both ends inclusive; nothing for
// an open end.
struct PercentRange {
  std::optional<int64_t> min, max;
};
PercentRange percentRange(CardProgress p);
std::string_view localizedName(CardProgress p);
std::string_view systemImage(CardProgress p);

enum class CardPreview { automatic, noPreview, checklist, descriptionText };

std::string_view rawValue(CardPreview p);
// `automatic` for any text that is not one of the four raw values.
CardPreview previewFromRaw(std::string_view raw);

// A task. Links are held as the ids of the plan and bucket; to-many links
// (checklist, attachments, labels, goals) are reached through the ModelContext.
struct Card {
  UUID id;
  std::string title;
  std::string notes;
  std::optional<Date> startDate;
  std::optional<Date> dueDate;
  int64_t priorityRaw = 5;
  int64_t percentComplete = 0;
  std::optional<std::string> colorHex;
  double sortOrder = 0;
  bool isOnMyDay = false;
  bool isArchived = false;
  std::optional<Date> plannedDate;
  bool isIdeaTask = false;
  std::string previewTypeRaw = "automatic";
  Date createdAt = 0;
  Date modifiedAt = 0;
  std::optional<Date> completedAt;
  std::optional<UUID> recurrenceSeriesID;
  int64_t recurrenceOccurrence = 1;
  std::optional<Bytes> recurrenceRuleData;
  std::optional<std::string> githubRepo;
  int64_t githubNumber = 0;
  std::optional<std::string> githubKind;
  std::optional<std::string> githubURLString;
  std::optional<UUID> plan;
  std::optional<UUID> bucket;

  Card() = default;
  Card(std::string title, double sortOrder, Date now);

  Priority priority() const { return priorityFromRaw(priorityRaw); }
  void setPriority(Priority p) { priorityRaw = static_cast<int64_t>(p); }
  CardProgress progress() const { return progressFromPercent(percentComplete); }
  // Only the percentage; completion bookkeeping is CardActions' job.
  void setProgress(CardProgress p) {
    percentComplete = static_cast<int64_t>(p);
  }
  CardPreview previewType() const { return previewFromRaw(previewTypeRaw); }
  void setPreviewType(CardPreview p) { previewTypeRaw = rawValue(p); }

  // The decoded rule; nothing when absent or unreadable.
  std::optional<RecurrenceRule> recurrenceRule() const;
  // Stores the rule's JSON, or clears the data for nothing.
  void setRecurrenceRule(const std::optional<RecurrenceRule> &rule);

  bool isFromGitHub() const { return githubRepo.has_value(); }
  void touch(Date now) { modifiedAt = now; }

  bool operator==(const Card &) const = default;
};

// True when the card has a due date before the start of today in `calendar`
// and is not completed.
bool isLate(const Card &card, Date now, const Calendar &calendar);

} // namespace taskory
