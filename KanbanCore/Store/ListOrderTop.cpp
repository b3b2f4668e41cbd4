#include "Store/ListOrderTop.h"

#include <algorithm>
#include <string_view>

namespace taskory::store {

namespace {

ListOrderTop::Value readValue(const SqliteStatement &row, int column) {
  ListOrderTop::Value value;
  switch (row.type(column)) {
  case SqliteType::null:
    break;
  case SqliteType::integer:
    value.rank = 1;
    value.isInteger = true;
    value.integer = row.int64(column);
    break;
  case SqliteType::real:
    value.rank = 1;
    value.real = row.real(column);
    break;
  case SqliteType::text:
    value.rank = 2;
    value.bytes = std::string(row.bytes(column));
    break;
  default:
    value.rank = 3;
    value.bytes = std::string(row.bytes(column));
    break;
  }
  return value;
}

int sign(bool less, bool greater) { return less ? -1 : greater ? 1 : 0; }

// An integer against a real exactly, as SQLite compares them: converting a
// large integer to double would make neighbours equal.
int compareIntegerReal(int64_t i, double r) {
  if (r < -9223372036854775808.0)
    return 1;
  if (r >= 9223372036854775808.0)
    return -1;
  const auto truncated = static_cast<int64_t>(r);
  if (i != truncated)
    return sign(i < truncated, i > truncated);
  const auto back = static_cast<double>(i);
  return sign(back < r, back > r);
}

int compare(const ListOrderTop::Value &a, const ListOrderTop::Value &b) {
  if (a.rank != b.rank)
    return sign(a.rank < b.rank, a.rank > b.rank);
  switch (a.rank) {
  case 0:
    return 0;
  case 1:
    if (a.isInteger && b.isInteger)
      return sign(a.integer < b.integer, a.integer > b.integer);
    if (a.isInteger)
      return compareIntegerReal(a.integer, b.real);
    if (b.isInteger)
      return -compareIntegerReal(b.integer, a.real);
    return sign(a.real < b.real, a.real > b.real);
  default: {
    const int bytes = std::string_view(a.bytes).compare(b.bytes);
    return sign(bytes < 0, bytes > 0);
  }
  }
}

} // namespace

bool ListOrderTop::less(const Key &a, const Key &b) {
  const bool aUndated = a.due.rank == 0, bUndated = b.due.rank == 0;
  if (aUndated != bUndated)
    return bUndated;
  if (const int due = compare(a.due, b.due))
    return due < 0;
  if (const int order = compare(a.sortOrder, b.sortOrder))
    return order < 0;
  return a.rowid < b.rowid;
}

void ListOrderTop::offer(const SqliteStatement &row, int first) {
  if (limit_ == 0)
    return;
  Key key{readValue(row, first + 1), readValue(row, first + 2),
          row.int64(first)};
  if (heap_.size() == limit_) {
    if (!less(key, heap_.front()))
      return;
    std::pop_heap(heap_.begin(), heap_.end(), less);
    heap_.back() = std::move(key);
  } else {
    heap_.push_back(std::move(key));
  }
  std::push_heap(heap_.begin(), heap_.end(), less);
}

std::string ListOrderTop::rowidsJSON() const {
  std::string json = "[";
  for (const Key &key : heap_) {
    if (json.size() > 1)
      json += ',';
    json += std::to_string(key.rowid);
  }
  return json + "]";
}

} // namespace taskory::store
