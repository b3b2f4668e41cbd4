#pragma once

#include <stdexcept>
#include <string>

namespace taskory {

// A failure of the store. what() is the German description shown to the
// assistant after "Fehler: "; the SQLite codes stay available for callers that
// must tell a busy store from a broken one.
class StoreError : public std::runtime_error {
public:
  enum class Kind { busy, corrupt, readOnly, notADatabase, foreign, tooNew, other };

  StoreError(Kind kind, int code, int extendedCode, const std::string &message);

  Kind kind() const { return kind_; }
  int code() const { return code_; }
  int extendedCode() const { return extendedCode_; }
  bool isBusy() const { return kind_ == Kind::busy; }

private:
  Kind kind_;
  int code_;
  int extendedCode_;
};

} // namespace taskory
