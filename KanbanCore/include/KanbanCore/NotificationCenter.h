#pragma once

#include <functional>
#include <map>
#include <string>
#include <string_view>

namespace taskory {

// Named events without payload, delivered synchronously on the posting thread.
// One centre belongs to each ModelContainer, so there is no process-wide
// instance to reset between tests.
class NotificationCenter {
public:
  using Observer = std::function<void()>;

  // Returns a token for removeObserver.
  int addObserver(std::string name, Observer observer);
  void removeObserver(int token);
  void post(std::string_view name) const;

private:
  struct Entry {
    std::string name;
    Observer observer;
  };
  std::map<int, Entry> observers_;
  int nextToken_ = 1;
};

} // namespace taskory
