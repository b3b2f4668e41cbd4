#include "KanbanCore/NotificationCenter.h"

#include <vector>

namespace taskory {

int NotificationCenter::addObserver(std::string name, Observer observer) {
  int token = nextToken_++;
  observers_.emplace(token, Entry{std::move(name), std::move(observer)});
  return token;
}

void NotificationCenter::removeObserver(int token) { observers_.erase(token); }

void NotificationCenter::post(std::string_view name) const {
  // Copy first: an observer may remove itself while being notified.
  std::vector<Observer> matching;
  for (const auto &[token, entry] : observers_)
    if (entry.name == name)
      matching.push_back(entry.observer);
  for (const auto &observer : matching)
    observer();
}

} // namespace taskory
