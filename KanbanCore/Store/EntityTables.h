#pragma once

// How each entity maps onto its table: one entry per stored field, in the
// table's column order, naming the column and the struct member, and the
// statements built from that list. Private to the store code.

#include "KanbanCore/Bucket.h"
#include "KanbanCore/Card.h"
#include "KanbanCore/CardAttachment.h"
#include "KanbanCore/ChecklistItem.h"
#include "KanbanCore/Goal.h"
#include "KanbanCore/Plan.h"
#include "KanbanCore/PlanLabel.h"
#include "Store/Sqlite.h"

#include <array>
#include <cmath>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

namespace taskory::store {

template <class T>
using Member =
    std::variant<std::string T::*, std::optional<std::string> T::*, bool T::*,
                 int64_t T::*, double T::*, std::optional<double> T::*>;

template <class T> struct Field {
  std::string_view column;
  Member<T> member;
  // Byte strings are stored as BLOB, everything else text-like as TEXT.
  bool blob = false;
};

template <class T> struct EntityTable;

template <> struct EntityTable<Plan> {
  static constexpr std::string_view name = "Plan";
  static constexpr std::array<Field<Plan>, 10> fields = {{
      {"id", &Plan::id},
      {"title", &Plan::title},
      {"planDescription", &Plan::planDescription},
      {"iconSystemName", &Plan::iconSystemName},
      {"colorHex", &Plan::colorHex},
      {"isFavorite", &Plan::isFavorite},
      {"sortOrder", &Plan::sortOrder},
      {"createdAt", &Plan::createdAt},
      {"modifiedAt", &Plan::modifiedAt},
      {"isClaudeProject", &Plan::isClaudeProject},
  }};
};

template <> struct EntityTable<Bucket> {
  static constexpr std::string_view name = "Bucket";
  static constexpr std::array<Field<Bucket>, 7> fields = {{
      {"id", &Bucket::id},
      {"name", &Bucket::name},
      {"colorHex", &Bucket::colorHex},
      {"sortOrder", &Bucket::sortOrder},
      {"createdAt", &Bucket::createdAt},
      {"autoProgressRaw", &Bucket::autoProgressRaw},
      {"plan", &Bucket::plan},
  }};
};

template <> struct EntityTable<Card> {
  static constexpr std::string_view name = "Card";
  static constexpr std::array<Field<Card>, 26> fields = {{
      {"id", &Card::id},
      {"title", &Card::title},
      {"notes", &Card::notes},
      {"startDate", &Card::startDate},
      {"dueDate", &Card::dueDate},
      {"priorityRaw", &Card::priorityRaw},
      {"percentComplete", &Card::percentComplete},
      {"colorHex", &Card::colorHex},
      {"sortOrder", &Card::sortOrder},
      {"isOnMyDay", &Card::isOnMyDay},
      {"isArchived", &Card::isArchived},
      {"plannedDate", &Card::plannedDate},
      {"isIdeaTask", &Card::isIdeaTask},
      {"previewTypeRaw", &Card::previewTypeRaw},
      {"createdAt", &Card::createdAt},
      {"modifiedAt", &Card::modifiedAt},
      {"completedAt", &Card::completedAt},
      {"recurrenceSeriesID", &Card::recurrenceSeriesID},
      {"recurrenceOccurrence", &Card::recurrenceOccurrence},
      {"recurrenceRuleData", &Card::recurrenceRuleData, true},
      {"githubRepo", &Card::githubRepo},
      {"githubNumber", &Card::githubNumber},
      {"githubKind", &Card::githubKind},
      {"githubURLString", &Card::githubURLString},
      {"plan", &Card::plan},
      {"bucket", &Card::bucket},
  }};
};

template <> struct EntityTable<ChecklistItem> {
  static constexpr std::string_view name = "ChecklistItem";
  static constexpr std::array<Field<ChecklistItem>, 6> fields = {{
      {"id", &ChecklistItem::id},
      {"title", &ChecklistItem::title},
      {"isChecked", &ChecklistItem::isChecked},
      {"sortOrder", &ChecklistItem::sortOrder},
      {"createdAt", &ChecklistItem::createdAt},
      {"card", &ChecklistItem::card},
  }};
};

template <> struct EntityTable<CardAttachment> {
  static constexpr std::string_view name = "CardAttachment";
  static constexpr std::array<Field<CardAttachment>, 10> fields = {{
      {"id", &CardAttachment::id},
      {"alias", &CardAttachment::alias},
      {"urlString", &CardAttachment::urlString},
      {"kindRaw", &CardAttachment::kindRaw},
      {"fileName", &CardAttachment::fileName},
      {"fileData", &CardAttachment::fileData, true},
      {"sortOrder", &CardAttachment::sortOrder},
      {"showOnCard", &CardAttachment::showOnCard},
      {"createdAt", &CardAttachment::createdAt},
      {"card", &CardAttachment::card},
  }};
};

template <> struct EntityTable<PlanLabel> {
  static constexpr std::string_view name = "PlanLabel";
  static constexpr std::array<Field<PlanLabel>, 4> fields = {{
      {"id", &PlanLabel::id},
      {"slotIndex", &PlanLabel::slotIndex},
      {"name", &PlanLabel::name},
      {"plan", &PlanLabel::plan},
  }};
};

template <> struct EntityTable<Goal> {
  static constexpr std::string_view name = "Goal";
  static constexpr std::array<Field<Goal>, 9> fields = {{
      {"id", &Goal::id},
      {"title", &Goal::title},
      {"notes", &Goal::notes},
      {"colorHex", &Goal::colorHex},
      {"targetDate", &Goal::targetDate},
      {"isCompleted", &Goal::isCompleted},
      {"sortOrder", &Goal::sortOrder},
      {"createdAt", &Goal::createdAt},
      {"plan", &Goal::plan},
  }};
};

// --- tolerant reading -------------------------------------------------------
// A NULL leaves the field at its initial value (optionals absent). Numbers in
// the other numeric class convert (an integer in a REAL column, a real in an
// INTEGER column, truncated and clamped as SQLite's CAST does); text where a
// number belongs keeps the initial value. Text and blobs keep their bytes.

inline void readColumn(const SqliteStatement &s, int c, std::string &out) {
  if (s.type(c) != SqliteType::null)
    out = std::string(s.bytes(c));
}

inline void readColumn(const SqliteStatement &s, int c,
                       std::optional<std::string> &out) {
  if (s.type(c) == SqliteType::null)
    out.reset();
  else
    out = std::string(s.bytes(c));
}

inline bool isNumeric(SqliteType t) {
  return t == SqliteType::integer || t == SqliteType::real;
}

inline void readColumn(const SqliteStatement &s, int c, int64_t &out) {
  if (isNumeric(s.type(c)))
    out = s.int64(c);
}

inline void readColumn(const SqliteStatement &s, int c, bool &out) {
  if (isNumeric(s.type(c)))
    out = s.int64(c) != 0;
}

inline void readColumn(const SqliteStatement &s, int c, double &out) {
  if (isNumeric(s.type(c)))
    out = s.real(c);
}

inline void readColumn(const SqliteStatement &s, int c,
                       std::optional<double> &out) {
  if (isNumeric(s.type(c)))
    out = s.real(c);
  else
    out.reset();
}

// The same conversions in SQL, for conditions that must agree with what a
// loaded entity shows.
inline std::string integerExpression(std::string_view column, int64_t initial) {
  std::string c(column);
  return "(CASE typeof(" + c + ") WHEN 'integer' THEN " + c +
         " WHEN 'real' THEN CAST(" + c + " AS INTEGER) ELSE " +
         std::to_string(initial) + " END)";
}

template <class T> T readEntity(const SqliteStatement &s, int firstColumn = 0) {
  T value{};
  int c = firstColumn;
  for (const Field<T> &field : EntityTable<T>::fields) {
    std::visit([&](auto member) { readColumn(s, c, value.*member); },
               field.member);
    ++c;
  }
  return value;
}

// --- writing ----------------------------------------------------------------

inline void bindColumn(SqliteStatement &s, int i, const std::string &v,
                       bool blob) {
  blob ? s.bindBlob(i, v) : s.bindText(i, v);
}

inline void bindColumn(SqliteStatement &s, int i,
                       const std::optional<std::string> &v, bool blob) {
  if (!v)
    s.bindNull(i);
  else
    bindColumn(s, i, *v, blob);
}

inline void bindColumn(SqliteStatement &s, int i, bool v, bool) {
  s.bind(i, int64_t{v ? 1 : 0});
}

inline void bindColumn(SqliteStatement &s, int i, int64_t v, bool) {
  s.bind(i, v);
}

// SQLite cannot store NaN (it would become NULL and break NOT NULL): a
// required number that is not a number is stored as its initial 0.
inline void bindColumn(SqliteStatement &s, int i, double v, bool) {
  s.bind(i, std::isnan(v) ? 0.0 : v);
}

inline void bindColumn(SqliteStatement &s, int i,
                       const std::optional<double> &v, bool) {
  if (!v || std::isnan(*v))
    s.bindNull(i);
  else
    s.bind(i, *v);
}

template <class T>
void bindField(SqliteStatement &s, int index, const T &value,
               const Field<T> &field) {
  std::visit(
      [&](auto member) { bindColumn(s, index, value.*member, field.blob); },
      field.member);
}

inline bool sameValue(double a, double b) {
  return a == b || (std::isnan(a) && std::isnan(b));
}
inline bool sameValue(const std::optional<double> &a,
                      const std::optional<double> &b) {
  if (!a || !b)
    return a.has_value() == b.has_value();
  return sameValue(*a, *b);
}
template <class V> bool sameValue(const V &a, const V &b) { return a == b; }

template <class T>
bool sameField(const T &a, const T &b, const Field<T> &field) {
  return std::visit(
      [&](auto member) { return sameValue(a.*member, b.*member); },
      field.member);
}

// --- statements --------------------------------------------------------------

// "SELECT <every column> FROM <table> ", ready for a WHERE or JOIN; the
// columns come in field order, as readEntity expects them.
template <class T> const std::string &selectSQL() {
  static const std::string sql = [] {
    std::string columns;
    for (const auto &field : EntityTable<T>::fields) {
      if (!columns.empty())
        columns += ", ";
      columns +=
          std::string(EntityTable<T>::name) + "." + std::string(field.column);
    }
    return "SELECT " + columns + " FROM " + std::string(EntityTable<T>::name) +
           " ";
  }();
  return sql;
}

// An INSERT of every column, parameter i + 1 for field i.
template <class T> const std::string &insertSQL() {
  static const std::string sql = [] {
    std::string columns, values;
    int index = 1;
    for (const auto &field : EntityTable<T>::fields) {
      if (index > 1) {
        columns += ", ";
        values += ", ";
      }
      columns += std::string(field.column);
      values += "?" + std::to_string(index++);
    }
    return "INSERT INTO " + std::string(EntityTable<T>::name) + " (" + columns +
           ") VALUES (" + values + ")";
  }();
  return sql;
}

} // namespace taskory::store
