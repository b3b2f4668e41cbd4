#pragma once

#include "KanbanCore/Types.h"

#include <chrono>

namespace taskory {

// The clock as the store keeps times: seconds since 1970, with fractions.
// Whoever runs a call reads it once, so that every date the call writes or
// compares is the same instant.
inline Date currentTime() {
  return std::chrono::duration<double>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

} // namespace taskory
