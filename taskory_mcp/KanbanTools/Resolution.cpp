#include "KanbanTools/Resolution.h"

#include "KanbanCore/BoardQueries.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardRendering.h"
#include "KanbanTools/ToolError.h"

#include <algorithm>
#include <cmath>
#include <memory>
#include <string>

namespace taskory {
namespace resolution {
namespace {

// The ASCII character a hex digit or hyphen at `text[i]` stands for, and the
// number of bytes it takes: ASCII digits, letters a-f/A-F and "-", and the
// full-width digits and letters (U+FF10-FF19, U+FF21-FF26, U+FF41-FF46, all
// three-byte sequences EF BC xx / EF BD xx). 0 for anything else, including
// ill-formed UTF-8.
std::size_t hexOrHyphenAt(std::string_view text, std::size_t i, char &ascii) {
  const auto byte = static_cast<unsigned char>(text[i]);
  if (byte < 0x80) {
    const char c = static_cast<char>(byte);
    if ((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') ||
        (c >= 'A' && c <= 'F') || c == '-') {
      ascii = c;
      return 1;
    }
    return 0;
  }
  if (byte != 0xEF || i + 2 >= text.size())
    return 0;
  const auto second = static_cast<unsigned char>(text[i + 1]);
  const auto third = static_cast<unsigned char>(text[i + 2]);
  if (second == 0xBC && third >= 0x90 && third <= 0x99) {
    ascii = static_cast<char>('0' + (third - 0x90));
    return 3;
  }
  if (second == 0xBC && third >= 0xA1 && third <= 0xA6) {
    ascii = static_cast<char>('A' + (third - 0xA1));
    return 3;
  }
  if (second == 0xBD && third >= 0x81 && third <= 0x86) {
    ascii = static_cast<char>('a' + (third - 0x81));
    return 3;
  }
  return 0;
}

char asciiUpper(char c) { return c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c; }

std::string ambiguityMessage(std::string_view text, std::size_t count) {
  return "ID-Kürzel „" + std::string(text) + "“ ist mehrdeutig (" +
         std::to_string(count) + " Treffer) – mehr Zeichen angeben";
}

} // namespace

bool isIDLike(std::string_view text) {
  // A canonical UUID consists of hex digits and hyphens only, so it is
  // covered by the character rule below. Every accepted character is a
  // single code point that cannot join a neighbour into one grapheme
  // cluster, so counting them counts user-perceived characters.
  std::size_t characters = 0;
  for (std::size_t i = 0; i < text.size();) {
    char ascii = 0;
    const std::size_t length = hexOrHyphenAt(text, i, ascii);
    if (length == 0)
      return false;
    i += length;
    ++characters;
  }
  return characters >= 6;
}

std::string comparableID(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size();) {
    char ascii = 0;
    if (const std::size_t length = hexOrHyphenAt(text, i, ascii)) {
      out.push_back(asciiUpper(ascii));
      i += length;
    } else {
      out.push_back(asciiUpper(text[i]));
      ++i;
    }
  }
  return out;
}

void throwAmbiguous(std::string_view text, std::size_t count) {
  throw ToolError{ambiguityMessage(text, count)};
}

bool idHasPrefix(std::string_view id, std::string_view prefix) {
  if (id.size() < prefix.size())
    return false;
  for (std::size_t i = 0; i < prefix.size(); ++i)
    if (asciiUpper(id[i]) != prefix[i])
      return false;
  return true;
}

namespace {

constexpr std::string_view kNoPlanYet =
    "Es existiert noch kein Plan — lege zuerst einen mit create_plan an.";
constexpr std::string_view kBadCardID =
    "card_id fehlt oder ist weder UUID noch ID-Kürzel (mind. 6 Hex-Zeichen)";

// Ascending sortOrder. A NaN (which another program might have stored) sorts
// after every number instead of breaking the sort's ordering contract.
bool sortOrderLess(double a, double b) {
  if (std::isnan(a) || std::isnan(b))
    return !std::isnan(a) && std::isnan(b);
  return a < b;
}

bool sortOrderEqual(double a, double b) {
  return !sortOrderLess(a, b) && !sortOrderLess(b, a);
}

} // namespace

namespace {

// The order every tool lists plans in, for plans and for their headings:
// ascending sortOrder, ties by natural title order, stable. Sorting a subset
// gives its members the order they have among all plans.
template <class T, class SortOrder, class Title>
void sortInToolOrder(std::vector<T> &plans, SortOrder sortOrder, Title title) {
  std::stable_sort(plans.begin(), plans.end(), [&](const T &a, const T &b) {
    return sortOrderLess(sortOrder(a), sortOrder(b));
  });
  // Titles only decide between equal sort orders; the collator is built only
  // when there is such a tie, which keeps the common case cheap.
  std::unique_ptr<text::NaturalOrder> order;
  for (auto run = plans.begin(); run != plans.end();) {
    auto end = std::find_if(run + 1, plans.end(), [&](const T &plan) {
      return !sortOrderEqual(sortOrder(plan), sortOrder(*run));
    });
    if (end - run > 1) {
      if (!order)
        order = std::make_unique<text::NaturalOrder>();
      std::stable_sort(run, end, [&](const T &a, const T &b) {
        return (*order)(title(a), title(b));
      });
    }
    run = end;
  }
}

} // namespace

std::vector<Plan *> fetchPlans(ModelContext &context) {
  std::vector<Plan *> plans = context.fetchAll<Plan>();
  sortInToolOrder(
      plans, [](const Plan *plan) { return plan->sortOrder; },
      [](const Plan *plan) -> const std::string & { return plan->title; });
  return plans;
}

std::vector<BoardQueries::PlanHeading> planHeadings(ModelContext &context) {
  using Heading = BoardQueries::PlanHeading;
  const auto kept = BoardQueries(context).planHeadings();
  std::vector<Heading> plans(kept->begin(), kept->end());
  sortInToolOrder(
      plans, [](const Heading &h) { return h.sortOrder; },
      [](const Heading &h) -> const std::string & { return h.title; });
  return plans;
}

const std::vector<const Goal *> *GoalsByPlan::find(const UUID &plan) const {
  const auto found = ofPlan.find(plan);
  return found == ofPlan.end() ? nullptr : &found->second;
}

GoalsByPlan goalsByPlan(ModelContext &context) {
  GoalsByPlan result;
  result.goals = BoardQueries(context).planGoalCopies();
  // Pointers are sorted, not the goals: a board has thousands, each with
  // its notes.
  std::vector<const Goal *> sorted;
  sorted.reserve(result.goals.size());
  for (const Goal &goal : result.goals)
    sorted.push_back(&goal);
  std::stable_sort(sorted.begin(), sorted.end(),
                   [](const Goal *a, const Goal *b) {
                     return a->sortOrder < b->sortOrder;
                   });
  for (const Goal *goal : sorted)
    result.ofPlan[*goal->plan].push_back(goal);
  return result;
}

Plan &findPlan(ModelContext &context, std::string_view text) {
  // Titles are compared on light rows and only the plan found is loaded: a
  // board may hold thousands of plans, and naming one must not load them
  // all. Of several equal titles the first in the tools' order wins.
  using Heading = BoardQueries::PlanHeading;
  const text::NameMatcher name(text);
  std::vector<Heading> titled;
  const auto kept = BoardQueries(context).planHeadings();
  for (const Heading &heading : *kept)
    if (name.matches(heading.title))
      titled.push_back(heading);
  sortInToolOrder(
      titled, [](const Heading &h) { return h.sortOrder; },
      [](const Heading &h) -> const std::string & { return h.title; });
  if (!titled.empty())
    if (Plan *plan = context.plan(titled.front().id))
      return *plan;
  const std::vector<Plan *> plans = fetchPlans(context);
  if (titled.empty()) {
    if (Plan *plan = matchByID(
            text, plans, [](const Plan &p) -> const UUID & { return p.id; }))
      return *plan;
  } else {
    for (Plan *plan : plans)
      if (name.matches(plan->title))
        return *plan;
  }
  throw ToolError{
      "Plan „" + std::string(text) + "“ nicht gefunden. Vorhanden: " +
      text::joined(textsOf(plans, [](const Plan &p) { return p.title; }),
                   ", ")};
}

Bucket *lookupBucket(ModelContext &context, std::string_view text, Plan &plan) {
  const std::vector<Bucket *> buckets = context.buckets(plan);
  for (Bucket *bucket : buckets)
    if (text::namesEqual(bucket->name, text))
      return bucket;
  return matchByID(text, buckets,
                   [](const Bucket &b) -> const UUID & { return b.id; });
}

Bucket &findBucket(ModelContext &context, std::string_view text, Plan &plan) {
  if (Bucket *bucket = lookupBucket(context, text, plan))
    return *bucket;
  throw ToolError{"Bucket „" + std::string(text) +
                  "“ nicht gefunden. Vorhanden: " +
                  text::joined(textsOf(context.sortedBuckets(plan),
                                       [](const Bucket &b) { return b.name; }),
                               ", ")};
}

PlanLabel *findLabel(ModelContext &context, std::string_view name, Plan &plan) {
  for (PlanLabel *label : context.labels(plan))
    if (text::namesEqual(label->name, name))
      return label;
  return nullptr;
}

Goal *findGoal(ModelContext &context, std::string_view title, Plan &plan) {
  for (Goal *goal : context.goals(plan))
    if (text::namesEqual(goal->title, title))
      return goal;
  return nullptr;
}

Card &requireCard(ModelContext &context, const nlohmann::json &arguments) {
  const std::string *given = args::string(arguments, "card_id");
  if (!given || !isIDLike(*given))
    throw ToolError{std::string(kBadCardID)};
  const std::string &text = *given;
  const auto notFound = [&] {
    return ToolError{"Karte mit ID " + text + " nicht gefunden"};
  };
  // A full UUID is one primary-key lookup; a prefix is a range scan on the
  // key. Neither loads the other cards of the store.
  const std::string comparable = comparableID(text);
  if (auto uuid = parseUUID(comparable)) {
    if (Card *card = context.card(*uuid))
      return *card;
    throw notFound();
  }
  const std::vector<Card *> cards = context.cardsWithIDPrefix(comparable);
  if (cards.size() > 1)
    throwAmbiguous(text, cards.size());
  if (cards.empty())
    throw notFound();
  return *cards.front();
}

std::vector<UUID> bucketIDsInAllPlans(ModelContext &context,
                                      std::string_view text) {
  const std::vector<Bucket *> buckets = context.fetchAll<Bucket>();
  std::vector<UUID> ids;
  for (const Bucket *bucket : buckets)
    if (text::namesEqual(bucket->name, text))
      ids.push_back(bucket->id);
  if (ids.empty())
    if (const Bucket *bucket =
            matchByID(text, buckets,
                      [](const Bucket &b) -> const UUID & { return b.id; }))
      ids.push_back(bucket->id);
  if (ids.empty())
    throw ToolError{"Bucket „" + std::string(text) +
                    "“ in keinem Plan gefunden"};
  return ids;
}

Plan &defaultPlan(ModelContext &context) {
  const std::vector<Plan *> plans = fetchPlans(context);
  if (plans.empty())
    throw ToolError{std::string(kNoPlanYet)};
  return *plans.front();
}

} // namespace resolution
} // namespace taskory
