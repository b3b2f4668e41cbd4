#include "KanbanCore/Bucket.h"
#include "KanbanCore/Calendar.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/Uuid.h"

#include <gtest/gtest.h>

#include <set>

namespace taskory {
namespace {

TEST(Entities, PriorityReadsAnyRawValueByRange) {
  struct Case {
    int64_t raw;
    Priority priority;
  };
  for (auto [raw, expected] : std::vector<Case>{{INT64_MIN, Priority::urgent},
                                                {-4, Priority::urgent},
                                                {0, Priority::urgent},
                                                {1, Priority::urgent},
                                                {2, Priority::important},
                                                {3, Priority::important},
                                                {4, Priority::important},
                                                {5, Priority::medium},
                                                {6, Priority::medium},
                                                {7, Priority::medium},
                                                {8, Priority::low},
                                                {9, Priority::low},
                                                {100, Priority::low},
                                                {INT64_MAX, Priority::low}}) {
    Card card("x", 0, 0);
    card.priorityRaw = raw;
    EXPECT_EQ(card.priority(), expected) << raw;
    card.setPriority(card.priority());
    EXPECT_EQ(priorityFromRawValue(card.priorityRaw), expected)
        << raw << ": setting stores only 1, 3, 5 or 9";
  }
  for (int64_t raw : std::vector<int64_t>{0, 2, 4, 6, 10, -1})
    EXPECT_FALSE(priorityFromRawValue(raw)) << raw;
  EXPECT_EQ(localizedName(Priority::urgent), "Dringend");
  EXPECT_EQ(localizedName(Priority::low), "Niedrig");
  EXPECT_EQ(priorityIndex(Priority::important), 1);
}

TEST(Entities, ProgressReadsAnyPercentageByRange) {
  struct Case {
    int64_t percent;
    CardProgress progress;
  };
  for (auto [percent, expected] :
       std::vector<Case>{{INT64_MIN, CardProgress::notStarted},
                         {-1, CardProgress::notStarted},
                         {0, CardProgress::notStarted},
                         {49, CardProgress::notStarted},
                         {50, CardProgress::inProgress},
                         {99, CardProgress::inProgress},
                         {100, CardProgress::completed},
                         {150, CardProgress::completed}}) {
    Card card("x", 0, 0);
    card.percentComplete = percent;
    EXPECT_EQ(card.progress(), expected) << percent;
  }
  EXPECT_FALSE(progressFromRawValue(49));
  EXPECT_EQ(progressFromRawValue(50), CardProgress::inProgress);
  EXPECT_EQ(localizedName(CardProgress::inProgress), "In Bearbeitung");
  EXPECT_EQ(systemImage(CardProgress::completed), "checkmark.circle.fill");
}

TEST(Entities, AutoProgressIsAbsentForNegativeValues) {
  Bucket bucket("b", 0, 0);
  EXPECT_EQ(bucket.autoProgressRaw, -1);
  for (int64_t raw : std::vector<int64_t>{-1, -7, INT64_MIN}) {
    bucket.autoProgressRaw = raw;
    EXPECT_FALSE(bucket.autoProgress()) << raw;
  }
  bucket.autoProgressRaw = 0;
  EXPECT_EQ(bucket.autoProgress(), CardProgress::notStarted);
  bucket.autoProgressRaw = 75;
  EXPECT_EQ(bucket.autoProgress(), CardProgress::inProgress);
  bucket.setAutoProgress(CardProgress::completed);
  EXPECT_EQ(bucket.autoProgressRaw, 100);
  bucket.setAutoProgress(std::nullopt);
  EXPECT_EQ(bucket.autoProgressRaw, -1);
}

TEST(Entities, UnknownRawTextReadsAsTheDefaultCase) {
  for (const char *raw : {"", "Automatic", "bogus", "checklist "})
    EXPECT_EQ(previewFromRaw(raw), CardPreview::automatic) << raw;
  for (CardPreview p : {CardPreview::automatic, CardPreview::noPreview,
                        CardPreview::checklist, CardPreview::descriptionText})
    EXPECT_EQ(previewFromRaw(rawValue(p)), p) << rawValue(p);
  for (const char *raw : {"", "video", "File"})
    EXPECT_EQ(attachmentKindFromRaw(raw), AttachmentKind::link) << raw;
  EXPECT_EQ(attachmentKindFromRaw("image"), AttachmentKind::image);
  EXPECT_EQ(attachmentKindFromRaw("file"), AttachmentKind::file);
}

TEST(Entities, NewObjectsStartAtTheirInitialValues) {
  Card card("Titel", 2048, 1000.5);
  EXPECT_TRUE(parseUUID(card.id));
  EXPECT_EQ(card.id, canonicalID(card.id));
  EXPECT_EQ(card.title, "Titel");
  EXPECT_EQ(card.sortOrder, 2048);
  EXPECT_EQ(card.createdAt, 1000.5);
  EXPECT_EQ(card.modifiedAt, 1000.5);
  EXPECT_EQ(card.priority(), Priority::medium);
  EXPECT_EQ(card.previewTypeRaw, "automatic");
  EXPECT_EQ(card.recurrenceOccurrence, 1);
  EXPECT_FALSE(card.isFromGitHub());
  Plan plan("P", 1, 2);
  EXPECT_EQ(plan.iconSystemName, "square.grid.3x1.folder.badge.plus");
  EXPECT_EQ(plan.modifiedAt, 2);
  PlanLabel label(24, "Lila");
  EXPECT_EQ(label.slotIndex, 24);
  EXPECT_FALSE(label.plan);
  CardAttachment attachment("a", 0, 0);
  EXPECT_EQ(attachment.kind(), AttachmentKind::link);
}

// 2025-03-12 10:00 UTC is 11:00 in Berlin; the day began at 23:00 UTC.
TEST(Entities, LateMeansDueBeforeTheStartOfToday) {
  const Date now = 1741773600.0;
  const Date startOfToday = 1741734000.0;
  Calendar calendar("Europe/Berlin", "de_DE");
  struct Case {
    const char *what;
    std::optional<Date> due;
    int64_t percent;
    bool late;
  };
  for (const auto &test : std::vector<Case>{
           {"due yesterday, in progress", startOfToday - 86400, 50, true},
           {"a second before midnight", startOfToday - 1, 0, true},
           {"due yesterday, completed", startOfToday - 86400, 100, false},
           {"due yesterday, over 100 percent", startOfToday - 86400, 150,
            false},
           {"due today at 00:00", startOfToday, 0, false},
           {"due later today", now + 3600, 0, false},
           {"no due date", std::nullopt, 0, false}}) {
    Card card("x", 0, now);
    card.dueDate = test.due;
    card.percentComplete = test.percent;
    EXPECT_EQ(isLate(card, now, calendar), test.late) << test.what;
  }
}

TEST(Entities, UnreadableRecurrenceDataMeansNoRecurrence) {
  Card card("x", 0, 0);
  EXPECT_FALSE(card.recurrenceRule());
  for (const char *data :
       {"", "kein JSON", "{}", "{\"frequency\":\"hourly\"}", "\xff\xfe"}) {
    card.recurrenceRuleData = std::string(data);
    EXPECT_FALSE(card.recurrenceRule()) << data;
  }
  RecurrenceRule rule(RecurrenceRule::Frequency::weekly, 2, {2, 4});
  card.setRecurrenceRule(rule);
  ASSERT_TRUE(card.recurrenceRuleData);
  EXPECT_EQ(card.recurrenceRule(), rule);
  card.setRecurrenceRule(std::nullopt);
  EXPECT_FALSE(card.recurrenceRuleData);
}

TEST(Uuid, ParsesEitherCaseAndRejectsEverythingElse) {
  EXPECT_EQ(parseUUID("0a1b2c3d-4e5f-4a6b-8c7d-9e0f1a2b3c4d"),
            "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D");
  for (const char *bad : {"", "0A1B2C3D4E5F4A6B8C7D9E0F1A2B3C4D",
                          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4",
                          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4DE",
                          "0A1B2C3D_4E5F-4A6B-8C7D-9E0F1A2B3C4D",
                          "0A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4G",
                          "{A1B2C3D-4E5F-4A6B-8C7D-9E0F1A2B3C4D}"})
    EXPECT_FALSE(parseUUID(bad)) << bad;
}

TEST(Uuid, NewIDsAreCanonicalVersion4AndDistinct) {
  std::set<UUID> seen;
  for (int i = 0; i < 200; ++i) {
    UUID id = makeUUID();
    EXPECT_EQ(parseUUID(id), id);
    EXPECT_EQ(id[14], '4');
    EXPECT_NE(std::string("89AB").find(id[19]), std::string::npos) << id;
    seen.insert(id);
  }
  EXPECT_EQ(seen.size(), 200u);
}

TEST(Uuid, ShortIDIsTheFirstGroupUpperCased) {
  EXPECT_EQ(shortID("abcdef12-0000-4000-8000-000000000000"), "ABCDEF12");
  EXPECT_EQ(shortID("abc"), "ABC");
  // Not a UUID, with a character across the cut: never half a sequence.
  EXPECT_EQ(shortID("abcdefg\xc3\xa4xyz"), "ABCDEFG");
  EXPECT_EQ(canonicalID("ab-\xc3\xa4"), "AB-\xc3\xa4");
}

} // namespace
} // namespace taskory
