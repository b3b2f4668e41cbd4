#include "KanbanTools/CardFields.h"

#include "KanbanCore/CardActions.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/ModelContext.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "KanbanCore/RecurrenceRule.h"
#include "KanbanCore/Text.h"
#include "KanbanTools/Arguments.h"
#include "KanbanTools/CardVocabulary.h"
#include "KanbanTools/DateInput.h"
#include "KanbanTools/Resolution.h"
#include "KanbanTools/ToolError.h"
#include "KanbanTools/ToolHandlers.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace taskory {
namespace {

// What changeLinks needs to know of labels and of goals.
template <class T> struct Links;

template <> struct Links<PlanLabel> {
  static constexpr std::string_view kNoun = "Label";
  static PlanLabel *find(ModelContext &context, std::string_view name,
                         Plan &plan) {
    return resolution::findLabel(context, name, plan);
  }
  static const std::string &name(const PlanLabel &label) { return label.name; }
  static std::vector<PlanLabel *> ofCard(ModelContext &context,
                                         const Card &card) {
    return context.labels(card);
  }
  static void add(ModelContext &context, Card &card, PlanLabel &label) {
    context.addLabel(card, label);
  }
  static void remove(ModelContext &context, Card &card, PlanLabel &label) {
    context.removeLabel(card, label);
  }
};

template <> struct Links<Goal> {
  static constexpr std::string_view kNoun = "Ziel";
  static Goal *find(ModelContext &context, std::string_view title, Plan &plan) {
    return resolution::findGoal(context, title, plan);
  }
  static const std::string &name(const Goal &goal) { return goal.title; }
  static std::vector<Goal *> ofCard(ModelContext &context, const Card &card) {
    return context.goals(card);
  }
  static void add(ModelContext &context, Card &card, Goal &goal) {
    context.addGoal(card, goal);
  }
  static void remove(ModelContext &context, Card &card, Goal &goal) {
    context.removeGoal(card, goal);
  }
};

template <class T>
void changeLinksOf(ModelContext &context, Card &card, LinkChange change,
                   const nlohmann::json &names) {
  using L = Links<T>;
  const std::vector<std::string> given = args::strings(names);
  if (change == LinkChange::remove) {
    for (T *linked : L::ofCard(context, card))
      for (const std::string &name : given)
        if (text::namesEqual(L::name(*linked), name)) {
          L::remove(context, card, *linked);
          break;
        }
    return;
  }
  Plan *plan = context.planOf(card);
  if (!plan)
    return;
  std::vector<T *> wanted;
  for (const std::string &name : given) {
    T *found = L::find(context, name, *plan);
    if (!found)
      throw ToolError{std::string(L::kNoun) + " „" + name +
                      "“ existiert nicht im Plan"};
    wanted.push_back(found);
  }
  if (change == LinkChange::replace)
    for (T *linked : L::ofCard(context, card))
      if (std::find(wanted.begin(), wanted.end(), linked) == wanted.end())
        L::remove(context, card, *linked);
  for (T *entity : wanted)
    L::add(context, card, *entity);
}

void applyRecurrence(const nlohmann::json &recurrence, Card &card) {
  const std::string *frequencyText = args::string(recurrence, "frequency");
  if (!frequencyText)
    throw ToolError{"recurrence.frequency fehlt"};
  if (text::asciiLowercased(*frequencyText) == "none") {
    card.setRecurrenceRule(std::nullopt);
    return;
  }
  const auto frequency = frequencyFromRaw(*frequencyText);
  if (!frequency)
    throw ToolError{"Unbekannte frequency: " + *frequencyText};
  if (!card.dueDate)
    throw ToolError{"Wiederholung benötigt ein due_date"};

  int64_t interval = 1;
  if (const nlohmann::json *value = args::member(recurrence, "interval"))
    interval = args::integral(*value).value_or(1);

  // All or nothing: one element that is not a whole number makes the list
  // empty, as if it had not been given.
  std::vector<int64_t> daysOfWeek;
  if (const nlohmann::json *days = args::array(recurrence, "days_of_week")) {
    for (const nlohmann::json &element : *days) {
      auto day = args::integral(element);
      if (!day) {
        daysOfWeek.clear();
        break;
      }
      daysOfWeek.push_back(*day);
    }
  }

  card.setRecurrenceRule(
      RecurrenceRule(*frequency, interval, std::move(daysOfWeek)));
  if (!card.recurrenceSeriesID)
    card.recurrenceSeriesID = card.id;
}

} // namespace

void changeLinks(ModelContext &context, Card &card, LinkKind kind,
                 LinkChange change, const nlohmann::json &names) {
  if (kind == LinkKind::labels)
    changeLinksOf<PlanLabel>(context, card, change, names);
  else
    changeLinksOf<Goal>(context, card, change, names);
}

void applyCardColumns(const ToolCall &call, const nlohmann::json &args,
                      Card &card) {
  if (const std::string *notes = args::string(args, "notes"))
    card.notes = *notes;
  if (const std::string *due = args::string(args, "due_date")) {
    card.dueDate = parseOptionalDate(*due, call.calendar);
    // A recurring card cannot exist without a due date.
    if (!card.dueDate)
      card.setRecurrenceRule(std::nullopt);
  }
  if (const std::string *start = args::string(args, "start_date"))
    card.startDate = parseOptionalDate(*start, call.calendar);
  if (const std::string *planned = args::string(args, "planned_date"))
    card.plannedDate = parseOptionalDate(*planned, call.calendar);
  if (const std::string *priority = args::string(args, "priority"))
    card.setPriority(parsePriority(*priority));
  if (const std::string *color = args::string(args, "color_hex")) {
    if (text::asciiLowercased(*color) == "none")
      card.colorHex.reset();
    else
      card.colorHex = *color;
  }
}

void applyLinksAndRecurrence(const ToolCall &call, const nlohmann::json &args,
                             Card &card) {
  if (const nlohmann::json *names = args::stringArray(args, "labels"))
    changeLinks(call.context, card, LinkKind::labels, LinkChange::replace,
                *names);
  if (const nlohmann::json *titles = args::stringArray(args, "goals"))
    changeLinks(call.context, card, LinkKind::goals, LinkChange::replace,
                *titles);

  if (const nlohmann::json *recurrence = args::object(args, "recurrence"))
    applyRecurrence(*recurrence, card);
}

void applyCommonFields(const ToolCall &call, const nlohmann::json &args,
                       Card &card) {
  applyCardColumns(call, args, card);
  applyLinksAndRecurrence(call, args, card);
}

void applyStatus(const ToolCall &call, const nlohmann::json &args, Card &card) {
  const std::string *status = args::string(args, "status");
  if (!status)
    return;
  const CardProgress progress = parseStatus(*status);
  CardActions::setProgress(card, progress, call.context, call.now,
                           call.calendar);
}

} // namespace taskory
