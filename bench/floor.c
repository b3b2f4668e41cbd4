/*
 * The floor for the stdio benchmarks: the least a JSON-RPC-over-stdio server
 * can do. It answers "initialize" with a fixed result, "floor/commit" with one
 * durable SQLite commit, "floor/scan" with one pass over every card of the
 * store, and every other request that has an id with an empty result (so
 * "ping" works). No JSON parser: the id token and the method are cut out of
 * the line as they stand, which is enough for the driver's well-formed
 * requests.
 *
 * bench/stdio_bench.mjs compiles it twice: `floor` without SQLite at all,
 * and `floor_sqlite` (FLOOR_SQLITE defined), which takes a store path and
 * opens it at start-up the way the server opens its store (WAL, synchronous
 * FULL, busy timeout, header and schema read) before the first line is read.
 * The commit table is created at the first commit, so that a store that is
 * only scanned is not changed.
 *
 * The scan is the cheapest exact answer to a text search without an index:
 * every row read, title and notes lower-cased by SQLite (ASCII only) and
 * searched for NEEDLE, the matching ids stepped through.
 *
 * usage: floor | floor_sqlite STORE [NEEDLE]
 */
#ifdef FLOOR_SQLITE
#include <sqlite3.h>
#endif

#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#ifdef FLOOR_SQLITE
static sqlite3 *db;
static sqlite3_stmt *insert;
static sqlite3_stmt *scan;

static void die(const char *what) {
  fprintf(stderr, "floor: %s: %s\n", what, db ? sqlite3_errmsg(db) : "-");
  exit(1);
}

static void exec(const char *sql) {
  if (sqlite3_exec(db, sql, NULL, NULL, NULL) != SQLITE_OK)
    die(sql);
}

static void open_store(const char *path) {
  if (sqlite3_open_v2(path, &db, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE,
                      NULL) != SQLITE_OK)
    die("open");
  exec("PRAGMA busy_timeout = 5000");
  exec("PRAGMA journal_mode = WAL");
  exec("PRAGMA synchronous = FULL");
  exec("PRAGMA application_id");
  exec("PRAGMA user_version");
  exec("SELECT count(*) FROM sqlite_schema");
}

static void commit_one(void) {
  if (!insert) {
    exec("CREATE TABLE IF NOT EXISTS FloorCommit (id INTEGER PRIMARY KEY, "
         "title TEXT NOT NULL, at REAL NOT NULL)");
    if (sqlite3_prepare_v2(db, "INSERT INTO FloorCommit (title, at) VALUES "
                               "('Karte', julianday('now'))",
                           -1, &insert, NULL) != SQLITE_OK)
      die("prepare");
  }
  exec("BEGIN IMMEDIATE");
  if (sqlite3_step(insert) != SQLITE_DONE)
    die("insert");
  sqlite3_reset(insert);
  exec("COMMIT");
}

static long scan_all(const char *needle) {
  if (!scan) {
    if (sqlite3_prepare_v2(db, "SELECT id FROM Card WHERE instr(lower(title), "
                               "?1) OR instr(lower(notes), ?1)",
                           -1, &scan, NULL) != SQLITE_OK)
      die("prepare scan");
    sqlite3_bind_text(scan, 1, needle, -1, SQLITE_STATIC);
  }
  long rows = 0;
  int rc;
  while ((rc = sqlite3_step(scan)) == SQLITE_ROW)
    rows++;
  if (rc != SQLITE_DONE)
    die("scan");
  sqlite3_reset(scan);
  return rows;
}
#endif

/* The raw JSON token after "key": up to the next ',' or '}' outside a string. */
static int token(const char *line, const char *key, const char **start,
                 size_t *length) {
  const char *p = strstr(line, key);
  if (!p)
    return 0;
  p += strlen(key);
  while (*p == ' ' || *p == ':')
    p++;
  const char *q = p;
  if (*q == '"') {
    for (q++; *q && *q != '"'; q++)
      if (*q == '\\' && q[1])
        q++;
    if (*q)
      q++;
  } else {
    while (*q && *q != ',' && *q != '}' && *q != '\n')
      q++;
  }
  *start = p;
  *length = (size_t)(q - p);
  return 1;
}

static void reply(const char *id, size_t idLength, const char *result) {
  char buffer[512];
  int n = snprintf(buffer, sizeof buffer,
                   "{\"jsonrpc\":\"2.0\",\"id\":%.*s,\"result\":%s}\n",
                   (int)idLength, id, result);
  if (n > 0 && (size_t)n < sizeof buffer)
    (void)!write(STDOUT_FILENO, buffer, (size_t)n);
}

int main(int argc, char **argv) {
#ifdef FLOOR_SQLITE
  if (argc < 2) {
    fprintf(stderr, "usage: floor_sqlite STORE [NEEDLE]\n");
    return 2;
  }
  const char *needle = argc > 2 ? argv[2] : "";
  open_store(argv[1]);
#else
  (void)argc;
  (void)argv;
#endif
  char *line = NULL;
  size_t capacity = 0;
  while (getline(&line, &capacity, stdin) > 0) {
    const char *id, *method;
    size_t idLength, methodLength;
    if (!token(line, "\"id\"", &id, &idLength) ||
        !token(line, "\"method\"", &method, &methodLength))
      continue;
    if (methodLength == 12 && memcmp(method, "\"initialize\"", 12) == 0) {
      reply(id, idLength,
            "{\"protocolVersion\":\"2025-06-18\",\"capabilities\":{\"tools\":{}"
            "},\"serverInfo\":{\"name\":\"floor\",\"version\":\"1.0.0\"}}");
#ifdef FLOOR_SQLITE
    } else if (methodLength == 14 &&
               memcmp(method, "\"floor/commit\"", 14) == 0) {
      commit_one();
      reply(id, idLength, "{}");
    } else if (methodLength == 12 &&
               memcmp(method, "\"floor/scan\"", 12) == 0) {
      char rows[64];
      snprintf(rows, sizeof rows, "{\"rows\":%ld}", scan_all(needle));
      reply(id, idLength, rows);
#endif
    } else {
      reply(id, idLength, "{}");
    }
  }
  free(line);
#ifdef FLOOR_SQLITE
  sqlite3_finalize(insert);
  sqlite3_finalize(scan);
  sqlite3_close(db);
#endif
  return 0;
}
