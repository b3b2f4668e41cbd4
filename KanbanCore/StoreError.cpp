#include "KanbanCore/StoreError.h"

namespace taskory {

StoreError::StoreError(Kind kind, int code, int extendedCode,
                       const std::string &message)
    : std::runtime_error(message), kind_(kind), code_(code),
      extendedCode_(extendedCode) {}

} // namespace taskory
