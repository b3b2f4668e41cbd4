#pragma once

#include <stdexcept>
#include <string>

namespace taskory {

// A failure of the store. what() is the German description shown to the
// assistant after "Fehler: "; the SQLite codes stay available for callers that
// must tell a busy store from a broken one. Built only through the named
// factories, so that each kind of failure carries its codes in one place.
class StoreError : public std::runtime_error {
public:
  enum class Kind {
    busy,
    corrupt,
    readOnly,
    notADatabase,
    foreign,
    tooNew,
    other
  };

  // A failed SQLite call: the kind follows the primary result code.
  static StoreError fromResultCode(int code, int extendedCode,
                                   const std::string &message);
  // The German description of a failed SQLite call (busy, read-only, full,
  // corrupt, ...), without the technical detail.
  static std::string describe(int code, int extendedCode);
  // The store file was deleted or renamed while the server ran.
  static StoreError moved();
  // A write met the file-size limit (ulimit -f); SQLite saw a failed write.
  static StoreError fileSizeLimit(int code, int extendedCode);
  // The operating system refused to open the file; `reason` is its own
  // description.
  static StoreError permissionDenied(int extendedCode,
                                     const std::string &reason);
  // The store file cannot be reached or created (SQLite's CANTOPEN).
  static StoreError cannotOpen(const std::string &message);
  // The file is another application's database or lacks our tables.
  static StoreError foreign(const std::string &message);
  // The file was written by a newer layout than this build knows.
  static StoreError tooNew(const std::string &message);
  // SQLite ended the transaction on its own; nothing of it was kept.
  static StoreError aborted();
  // A second context was opened while another one still holds the
  // transaction.
  static StoreError nestedContext();
  // A write failed with something other than a StoreError.
  static StoreError unexpectedWriteFailure();
  // A context opened for reading was asked to change the store.
  static StoreError writeInReadOnlyContext();

  // The same failure with another description (the codes stay).
  StoreError reworded(const std::string &message) const;

  Kind kind() const { return kind_; }
  int code() const { return code_; }
  int extendedCode() const { return extendedCode_; }
  bool isBusy() const { return kind_ == Kind::busy; }

private:
  StoreError(Kind kind, int code, int extendedCode, const std::string &message);

  Kind kind_;
  int code_;
  int extendedCode_;
};

} // namespace taskory
