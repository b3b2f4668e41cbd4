#include "StoreGenerator.h"

#include "KanbanCore/KanbanStore.h"
#include "KanbanCore/Uuid.h"

#include <sqlite3.h>

#include <array>
#include <random>
#include <stdexcept>
#include <string>

namespace taskory::bench {
namespace {

class Database {
public:
  explicit Database(const std::filesystem::path &file) {
    if (sqlite3_open(file.c_str(), &db_) != SQLITE_OK)
      fail("open");
  }
  ~Database() { sqlite3_close(db_); }
  Database(const Database &) = delete;
  Database &operator=(const Database &) = delete;

  void exec(const char *sql) {
    if (sqlite3_exec(db_, sql, nullptr, nullptr, nullptr) != SQLITE_OK)
      fail(sql);
  }
  sqlite3 *handle() { return db_; }
  [[noreturn]] void fail(const std::string &what) {
    throw std::runtime_error(what + ": " + sqlite3_errmsg(db_));
  }

private:
  sqlite3 *db_ = nullptr;
};

// One prepared INSERT, bound positionally and run once per row.
class Insert {
public:
  Insert(Database &db, const char *sql) : db_(db) {
    if (sqlite3_prepare_v2(db.handle(), sql, -1, &stmt_, nullptr) != SQLITE_OK)
      db.fail(sql);
  }
  ~Insert() { sqlite3_finalize(stmt_); }
  Insert(const Insert &) = delete;
  Insert &operator=(const Insert &) = delete;

  Insert &text(const std::string &value) {
    sqlite3_bind_text(stmt_, ++index_, value.data(),
                      static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  Insert &real(double value) {
    sqlite3_bind_double(stmt_, ++index_, value);
    return *this;
  }
  Insert &integer(int64_t value) {
    sqlite3_bind_int64(stmt_, ++index_, value);
    return *this;
  }
  Insert &null() {
    sqlite3_bind_null(stmt_, ++index_);
    return *this;
  }
  Insert &blob(const std::string &value) {
    sqlite3_bind_blob(stmt_, ++index_, value.data(),
                      static_cast<int>(value.size()), SQLITE_TRANSIENT);
    return *this;
  }
  void run() {
    if (sqlite3_step(stmt_) != SQLITE_DONE)
      db_.fail("insert");
    sqlite3_reset(stmt_);
    sqlite3_clear_bindings(stmt_);
    index_ = 0;
  }

private:
  Database &db_;
  sqlite3_stmt *stmt_ = nullptr;
  int index_ = 0;
};

constexpr std::array<const char *, 16> kWords = {
    "Rechnung", "Angebot",   "Bericht", "Einkauf",     "Steuer", "Termin",
    "Meeting",  "Entwurf",   "Review",  "Umzug",       "Garten", "Reparatur",
    "Planung",  "Recherche", "Anruf",   "Präsentation"};

} // namespace

GeneratedStore generateStore(const std::filesystem::path &file, Date now,
                             StoreShape shape) {
  KanbanStore::makeContainer(file).reset(); // lay down the schema
  GeneratedStore out;
  out.file = file;
  out.cardIDs.reserve(shape.plans * shape.cardsPerPlan);

  Database db(file);
  db.exec("BEGIN");
  Insert plan(db, "INSERT INTO Plan (id, title, sortOrder, createdAt, "
                  "modifiedAt) VALUES (?, ?, ?, ?, ?)");
  Insert bucket(db, "INSERT INTO Bucket (id, name, colorHex, sortOrder, "
                    "createdAt, plan) VALUES (?, ?, ?, ?, ?, ?)");
  Insert label(db, "INSERT INTO PlanLabel (id, slotIndex, name, plan) "
                   "VALUES (?, ?, ?, ?)");
  Insert goal(db, "INSERT INTO Goal (id, title, sortOrder, createdAt, plan) "
                  "VALUES (?, ?, ?, ?, ?)");
  Insert card(db,
              "INSERT INTO Card (id, title, notes, dueDate, priorityRaw, "
              "percentComplete, sortOrder, isArchived, isOnMyDay, createdAt, "
              "modifiedAt, completedAt, recurrenceSeriesID, "
              "recurrenceRuleData, plan, bucket) VALUES (?, ?, ?, ?, ?, ?, ?, "
              "?, ?, ?, ?, ?, ?, ?, ?, ?)");
  Insert item(db, "INSERT INTO ChecklistItem (id, title, isChecked, "
                  "sortOrder, createdAt, card) VALUES (?, ?, ?, ?, ?, ?)");
  Insert cardLabel(db, "INSERT INTO CardLabel (card, label) VALUES (?, ?)");
  Insert cardGoal(db, "INSERT INTO CardGoal (card, goal) VALUES (?, ?)");

  std::mt19937_64 random(42);
  const auto chance = [&](int percent) {
    return static_cast<int>(random() % 100) < percent;
  };
  const auto pick = [&](std::size_t n) {
    return static_cast<std::size_t>(random() % n);
  };
  constexpr std::array<int64_t, 4> kPriorities = {1, 3, 5, 9};
  const std::string weekly =
      R"({"frequency":"weekly","interval":1,"daysOfWeek":[2]})";

  for (std::size_t p = 0; p < shape.plans; ++p) {
    const UUID planID = makeUUID();
    const std::string title = "Plan " + std::to_string(p + 1);
    out.planTitles.push_back(title);
    plan.text(planID).text(title).real(1024.0 * (p + 1)).real(now).real(now);
    plan.run();

    std::vector<UUID> buckets;
    for (std::size_t b = 0; b < shape.bucketsPerPlan; ++b) {
      buckets.push_back(makeUUID());
      bucket.text(buckets.back()).text("Spalte " + std::to_string(b + 1));
      if (b % 2 == 0)
        bucket.text("#CBEBC9");
      else
        bucket.null();
      bucket.real(1024.0 * (b + 1)).real(now).text(planID);
      bucket.run();
    }
    std::vector<UUID> labels;
    for (int slot = 0; slot < 25; ++slot) {
      labels.push_back(makeUUID());
      label.text(labels.back())
          .integer(slot)
          .text("Label " + std::to_string(slot + 1))
          .text(planID);
      label.run();
    }
    std::vector<UUID> goals;
    for (int g = 0; g < 3; ++g) {
      goals.push_back(makeUUID());
      goal.text(goals.back())
          .text("Ziel " + std::to_string(g + 1))
          .real(1024.0 * (g + 1))
          .real(now)
          .text(planID);
      goal.run();
    }

    for (std::size_t c = 0; c < shape.cardsPerPlan; ++c) {
      const UUID cardID = makeUUID();
      out.cardIDs.push_back(cardID);
      const std::string title = std::string(kWords[pick(kWords.size())]) + " " +
                                std::to_string(p * shape.cardsPerPlan + c);
      const int64_t percent = chance(60) ? 0 : (chance(50) ? 50 : 100);
      const bool recurring = chance(5);
      card.text(cardID).text(title);
      card.text(chance(30)
                    ? "Notiz zu " + std::string(kWords[pick(kWords.size())])
                    : std::string());
      if (chance(60) || recurring)
        card.real(now + (static_cast<double>(pick(120)) - 60.0) * 86400.0);
      else
        card.null();
      card.integer(kPriorities[pick(kPriorities.size())]).integer(percent);
      card.real(1024.0 * (c + 1))
          .integer(chance(10) ? 1 : 0)
          .integer(chance(5) ? 1 : 0)
          .real(now - 86400.0 * 30)
          .real(now);
      if (percent == 100)
        card.real(now - 86400.0);
      else
        card.null();
      if (recurring)
        card.text(cardID).blob(weekly);
      else
        card.null().null();
      card.text(planID).text(buckets[pick(buckets.size())]);
      card.run();

      if (chance(20))
        for (int i = 0; i < 3; ++i) {
          item.text(makeUUID())
              .text("Schritt " + std::to_string(i + 1))
              .integer(chance(50) ? 1 : 0)
              .real(1024.0 * (i + 1))
              .real(now)
              .text(cardID);
          item.run();
        }
      if (chance(30)) {
        cardLabel.text(cardID).text(labels[pick(labels.size())]);
        cardLabel.run();
      }
      if (chance(10)) {
        cardGoal.text(cardID).text(goals[pick(goals.size())]);
        cardGoal.run();
      }
    }
  }
  db.exec("COMMIT");
  return out;
}

} // namespace taskory::bench
