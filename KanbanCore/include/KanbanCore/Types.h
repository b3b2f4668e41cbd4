#pragma once

#include <string>

namespace taskory {

// A point in time: seconds since 1970-01-01T00:00:00Z, fractions allowed. This
// is the store's encoding of every date column, so no conversion is needed.
using Date = double;

// A UUID in its text form. IDs this program creates are canonical (upper case,
// hyphenated, 36 characters); IDs read from the store are kept exactly as
// stored so that they can be written back as foreign keys, even when another
// program wrote them in lower case.
using UUID = std::string;

// Raw bytes of a BLOB column (recurrence rule JSON, attachment data).
using Bytes = std::string;

} // namespace taskory
