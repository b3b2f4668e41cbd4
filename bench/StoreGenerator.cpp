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

// The vocabulary of bench/stdio_bench.mjs, shorter: a third of the nouns
// carry an umlaut or ß, so that most notes need ICU rather than ASCII for
// their case.
constexpr std::array<const char *, 24> kNouns = {
    "Angebot",       "Rechnung",    "Termin",          "Vertrag",   "Bericht",
    "Kunde",         "Budget",      "Steuererklärung", "Umzug",     "Garten",
    "Heizung",       "Bewerbung",   "Versicherung",    "Finanzamt", "Werkstatt",
    "Konzert",       "Unterlagen",  "Frist",           "Laptop",    "Reise",
    "Steuerberater", "Elternabend", "Webseite",        "Rezept"};
constexpr std::array<const char *, 14> kUmlautNouns = {
    "Überweisung", "Prüfung",   "Rückmeldung", "Änderung",     "Größe",
    "Straße",      "Schlüssel", "Küche",       "Führerschein", "Kündigung",
    "Gebühren",    "Übergabe",  "Bürgeramt",   "Möbel"};
constexpr std::array<const char *, 12> kVerbs = {
    "vorbereiten", "erledigen",  "anrufen",     "bezahlen",
    "kündigen",    "klären",     "prüfen",      "überarbeiten",
    "ausfüllen",   "einreichen", "zurückrufen", "abschließen"};
constexpr std::array<const char *, 20> kFiller = {
    "bis",   "für",   "mit",    "und",       "noch",   "bitte",    "nächste",
    "Woche", "heute", "morgen", "möglichst", "gemäß",  "außerdem", "wegen",
    "über",  "Frau",  "Herr",   "Team",      "Kosten", "Euro"};
constexpr std::array<const char *, 5> kBuckets = {
    "Backlog", "Zu erledigen", "In Arbeit", "Prüfung", "Fertig"};

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
  Insert goal(db, "INSERT INTO Goal (id, title, notes, sortOrder, createdAt, "
                  "plan) VALUES (?, ?, ?, ?, ?, ?)");
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
  const auto noun = [&]() -> std::string {
    return chance(35) ? kUmlautNouns[pick(kUmlautNouns.size())]
                      : kNouns[pick(kNouns.size())];
  };
  const auto word = [&]() -> std::string {
    const int r = static_cast<int>(random() % 100);
    if (r < 30)
      return noun();
    if (r < 45)
      return kVerbs[pick(kVerbs.size())];
    return kFiller[pick(kFiller.size())];
  };
  const auto words = [&](std::size_t n) {
    std::string text;
    for (std::size_t i = 0; i < n; ++i)
      text += (i ? " " : "") + word();
    return text;
  };
  constexpr std::array<int64_t, 4> kPriorities = {1, 3, 5, 9};
  const std::string weekly =
      R"({"frequency":"weekly","interval":1,"daysOfWeek":[2]})";

  struct PlanRows {
    UUID id;
    std::vector<UUID> buckets, labels, goals;
  };
  std::vector<PlanRows> plans(shape.plans);
  for (std::size_t p = 0; p < shape.plans; ++p) {
    PlanRows &rows = plans[p];
    rows.id = makeUUID();
    const std::string title = "Plan " + std::to_string(p + 1);
    out.planTitles.push_back(title);
    plan.text(rows.id).text(title).real(1024.0 * (p + 1)).real(now).real(now);
    plan.run();
    for (std::size_t b = 0; b < shape.bucketsPerPlan; ++b) {
      rows.buckets.push_back(makeUUID());
      bucket.text(rows.buckets.back())
          .text(b < kBuckets.size() ? std::string(kBuckets[b])
                                    : "Spalte " + std::to_string(b + 1));
      if (b % 2 == 0)
        bucket.text("#CBEBC9");
      else
        bucket.null();
      bucket.real(1024.0 * (b + 1)).real(now).text(rows.id);
      bucket.run();
    }
    for (int slot = 0; slot < 25; ++slot) {
      rows.labels.push_back(makeUUID());
      label.text(rows.labels.back())
          .integer(slot)
          .text("Label " + std::to_string(slot + 1))
          .text(rows.id);
      label.run();
    }
    for (int g = 0; g < 3; ++g) {
      rows.goals.push_back(makeUUID());
      std::string notes;
      while (notes.size() < 180)
        notes += (notes.empty() ? "" : " ") + word();
      goal.text(rows.goals.back())
          .text("Ziel " + std::to_string(g + 1) + ": " + noun() + " " +
                kVerbs[pick(kVerbs.size())])
          .text(notes)
          .real(1024.0 * (g + 1))
          .real(now)
          .text(rows.id);
      goal.run();
    }
  }

  // The cards of all plans interleaved, as in a store that grew over time:
  // a plan's cards are spread over the whole file. The goal links sit in one
  // plan of ten, about 150 cards per goal there.
  const std::size_t cards = shape.plans * shape.cardsPerPlan;
  for (std::size_t c = 0; c < cards; ++c) {
    const std::size_t p = pick(shape.plans);
    const PlanRows &rows = plans[p];
    const UUID cardID = makeUUID();
    out.cardIDs.push_back(cardID);
    const int state = static_cast<int>(random() % 100);
    const int64_t percent = state < 30 ? 100 : state < 45 ? 50 : 0;
    const bool recurring = chance(3);
    card.text(cardID).text(noun() + " " + kVerbs[pick(kVerbs.size())]);
    card.text(chance(20) ? std::string() : words(pick(41)));
    if (chance(45) || recurring)
      card.real(now + (static_cast<double>(pick(180)) - 60.0) * 86400.0);
    else
      card.null();
    card.integer(kPriorities[pick(kPriorities.size())]).integer(percent);
    card.real(1024.0 * (c + 1))
        .integer(percent == 100 && chance(33) ? 1 : 0)
        .integer(chance(1) ? 1 : 0)
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
    const std::size_t b =
        percent == 100 ? rows.buckets.size() - 1 : pick(rows.buckets.size());
    card.text(rows.id).text(rows.buckets[b]);
    card.run();

    if (chance(20)) {
      const std::size_t n = 1 + pick(5);
      for (std::size_t i = 0; i < n; ++i) {
        item.text(makeUUID())
            .text("Schritt " + std::to_string(i + 1))
            .integer(percent == 100 || chance(30) ? 1 : 0)
            .real(1024.0 * static_cast<double>(i + 1))
            .real(now)
            .text(cardID);
        item.run();
      }
    }
    if (chance(40)) {
      cardLabel.text(cardID).text(rows.labels[pick(rows.labels.size())]);
      cardLabel.run();
    }
    if (p % 10 == 9 && chance(90)) {
      cardGoal.text(cardID).text(rows.goals[pick(rows.goals.size())]);
      cardGoal.run();
    }
  }
  db.exec("COMMIT");
  return out;
}

} // namespace taskory::bench
