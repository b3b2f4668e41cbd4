#pragma once

#include "KanbanCore/Types.h"
#include "KanbanCore/Uuid.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// Matching of ID texts against entities, shared by the resolution members of
// KanbanTools and by the tools that pick checklist items by ID. Names are
// always tried first by the callers; this only knows about IDs.
namespace taskory::resolution {

// The form in which an ID-like text is compared with canonical UUID texts:
// full-width hex digits become their ASCII forms and letters are upper-cased.
// Without the conversion a full-width prefix would be accepted as ID-like and
// then could never match anything. Meant for texts that isIDLike accepts;
// other characters are copied unchanged.
std::string comparableID(std::string_view text);

// The message for a prefix that selects `count` (two or more) entities;
// `text` is the caller's text as given.
std::string ambiguityMessage(std::string_view text, std::size_t count);
[[noreturn]] void throwAmbiguous(std::string_view text, std::size_t count);

// True when `id` (any letter case, as stored) begins with `prefix`, which is
// already in comparableID form.
bool idHasPrefix(std::string_view id, std::string_view prefix);

// The entity whose ID the text names: for a full UUID the first entity with
// that ID (never an error); for an ID-like prefix the single entity whose
// canonical ID begins with it, the ambiguity ToolError when there are more;
// nothing otherwise. `idOf` gives an entity's ID as stored.
template <class T, class IdOf>
T *matchByID(std::string_view text, const std::vector<T *> &entities,
             IdOf idOf);

bool isIDLike(std::string_view text);

template <class T, class IdOf>
T *matchByID(std::string_view text, const std::vector<T *> &entities,
             IdOf idOf) {
  if (auto uuid = parseUUID(text)) {
    for (T *entity : entities)
      if (canonicalID(idOf(*entity)) == *uuid)
        return entity;
    return nullptr;
  }
  if (!isIDLike(text))
    return nullptr;
  const std::string prefix = comparableID(text);
  T *found = nullptr;
  std::size_t count = 0;
  for (T *entity : entities) {
    if (idHasPrefix(idOf(*entity), prefix)) {
      if (count == 0)
        found = entity;
      ++count;
    }
  }
  if (count > 1)
    throwAmbiguous(text, count);
  return found;
}

} // namespace taskory::resolution
