#pragma once

// The first cards of the card-list order ((due date, no due date last),
// sortOrder, rowid, each value ordered as SQLite's ORDER BY orders it), kept
// while the rows of a pass go by: a text search finds its matches in one
// pass over the store and must not sort or look up every match only to
// keep a page of them.

#include "Store/Sqlite.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace taskory::store {

class ListOrderTop {
public:
  explicit ListOrderTop(std::size_t limit) : limit_(limit) {}

  // Offers the row whose columns `first`... hold rowid, dueDate, sortOrder.
  void offer(const SqliteStatement &row, int first);
  // The rowids kept, as a JSON array in no particular order.
  std::string rowidsJSON() const;

  // A stored value in ORDER BY's order: NULL, numbers by value, text, blobs
  // (both bytewise, shorter first on a common prefix).
  struct Value {
    int rank = 0; // 0 NULL, 1 number, 2 text, 3 blob
    bool isInteger = false;
    int64_t integer = 0;
    double real = 0;
    std::string bytes;
  };
  struct Key {
    Value due, sortOrder;
    int64_t rowid = 0;
  };
  static bool less(const Key &a, const Key &b);

private:
  std::size_t limit_;
  std::vector<Key> heap_; // a max-heap under less(): the last kept on top
};

} // namespace taskory::store
