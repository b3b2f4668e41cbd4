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
