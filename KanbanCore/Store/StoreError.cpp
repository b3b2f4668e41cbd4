#include "KanbanCore/StoreError.h"

#include <sqlite3.h>

namespace taskory {

namespace {

StoreError::Kind kindOf(int code) {
  switch (code & 0xff) {
  case SQLITE_BUSY:
  case SQLITE_LOCKED:
    return StoreError::Kind::busy;
  case SQLITE_CORRUPT:
    return StoreError::Kind::corrupt;
  case SQLITE_READONLY:
    return StoreError::Kind::readOnly;
  case SQLITE_NOTADB:
    return StoreError::Kind::notADatabase;
  default:
    return StoreError::Kind::other;
  }
}

} // namespace

StoreError::StoreError(Kind kind, int code, int extendedCode,
                       const std::string &message)
    : std::runtime_error(message), kind_(kind), code_(code),
      extendedCode_(extendedCode) {}

StoreError StoreError::fromResultCode(int code, int extendedCode,
                                      const std::string &message) {
  return StoreError(kindOf(code), code & 0xff, extendedCode, message);
}

std::string StoreError::describe(int code, int extendedCode) {
  if (extendedCode == SQLITE_READONLY_DBMOVED)
    return "Die Store-Datei wurde gelöscht oder verschoben, während der "
           "Server lief – bitte den Server neu starten.";
  switch (code & 0xff) {
  case SQLITE_BUSY:
  case SQLITE_LOCKED:
    return "Der Store ist gerade durch ein anderes Programm gesperrt – bitte "
           "gleich noch einmal versuchen.";
  case SQLITE_READONLY:
    return "Der Store ist schreibgeschützt – die Änderung wurde nicht "
           "gespeichert.";
  case SQLITE_FULL:
    return "Der Datenträger ist voll – die Änderung wurde nicht gespeichert.";
  case SQLITE_IOERR:
    return "Lese- oder Schreibfehler beim Zugriff auf den Store – die Änderung "
           "wurde nicht gespeichert.";
  case SQLITE_CORRUPT:
    return "Der Store ist beschädigt.";
  case SQLITE_NOTADB:
    return "Die Datei ist keine SQLite-Datenbank.";
  case SQLITE_CANTOPEN:
    return "Der Store kann nicht geöffnet werden.";
  case SQLITE_PERM:
  case SQLITE_AUTH:
    return "Kein Zugriff auf den Store.";
  case SQLITE_CONSTRAINT:
    return "Die Änderung verstößt gegen eine Regel des Stores (etwa eine "
           "Verknüpfung auf ein Objekt, das es nicht gibt).";
  case SQLITE_NOMEM:
    return "Nicht genug Arbeitsspeicher für den Zugriff auf den Store.";
  default:
    return "Unerwarteter Fehler beim Zugriff auf den Store.";
  }
}

StoreError StoreError::moved() {
  return fromResultCode(SQLITE_READONLY, SQLITE_READONLY_DBMOVED,
                        describe(SQLITE_READONLY, SQLITE_READONLY_DBMOVED));
}

StoreError StoreError::fileSizeLimit(int code, int extendedCode) {
  return fromResultCode(code, extendedCode,
                        "Die erlaubte Dateigröße (ulimit -f) ist erreicht – "
                        "die Änderung wurde nicht gespeichert.");
}

StoreError StoreError::permissionDenied(int extendedCode,
                                        const std::string &reason) {
  return fromResultCode(SQLITE_PERM, extendedCode,
                        "Kein Zugriff auf den Store: keine Berechtigung, die "
                        "Datei zu öffnen (" +
                            reason + ").");
}

StoreError StoreError::cannotOpen(const std::string &message) {
  return StoreError(Kind::other, SQLITE_CANTOPEN, SQLITE_CANTOPEN, message);
}

StoreError StoreError::foreign(const std::string &message) {
  return StoreError(Kind::foreign, 0, 0, message);
}

StoreError StoreError::tooNew(const std::string &message) {
  return StoreError(Kind::tooNew, 0, 0, message);
}

StoreError StoreError::aborted() {
  return StoreError(Kind::other, 0, 0,
                    "Die Transaktion wurde vom Store abgebrochen – die "
                    "Änderungen dieses Aufrufs wurden nicht gespeichert.");
}

StoreError StoreError::nestedContext() {
  return StoreError(Kind::other, 0, 0,
                    "Auf diesem Store ist schon ein anderer Kontext offen "
                    "– Kontexte arbeiten nacheinander, nicht verschachtelt.");
}

StoreError StoreError::unexpectedWriteFailure() {
  return StoreError(Kind::other, 0, 0,
                    "Unerwarteter Fehler beim Schreiben in den Store – "
                    "nichts wurde gespeichert.");
}

StoreError StoreError::writeInReadOnlyContext() {
  return StoreError(Kind::readOnly, 0, 0,
                    "Dieser Zugriff darf den Store nur lesen – die Änderung "
                    "wurde nicht gespeichert.");
}

StoreError StoreError::reworded(const std::string &message) const {
  return StoreError(kind_, code_, extendedCode_, message);
}

} // namespace taskory
