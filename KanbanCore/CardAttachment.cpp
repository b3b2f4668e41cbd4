#include "KanbanCore/CardAttachment.h"

#include "KanbanCore/Uuid.h"

#include <utility>

namespace taskory {

std::string_view rawValue(AttachmentKind k) {
  switch (k) {
  case AttachmentKind::file:
    return "file";
  case AttachmentKind::image:
    return "image";
  case AttachmentKind::link:
    break;
  }
  return "link";
}

AttachmentKind attachmentKindFromRaw(std::string_view raw) {
  if (raw == "file")
    return AttachmentKind::file;
  if (raw == "image")
    return AttachmentKind::image;
  return AttachmentKind::link;
}

CardAttachment::CardAttachment(std::string alias, double sortOrder, Date now)
    : id(makeUUID()), alias(std::move(alias)), sortOrder(sortOrder),
      createdAt(now) {}

} // namespace taskory
