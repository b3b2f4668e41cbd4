#pragma once

#include "KanbanCore/Types.h"

#include <optional>
#include <string>
#include <string_view>

namespace taskory {

enum class AttachmentKind { link, file, image };

std::string_view rawValue(AttachmentKind k);
// `link` for any text that is not one of the three raw values.
AttachmentKind attachmentKindFromRaw(std::string_view raw);

struct CardAttachment {
  UUID id;
  std::string alias;
  std::optional<std::string> urlString;
  std::string kindRaw = "link";
  std::optional<std::string> fileName;
  std::optional<Bytes> fileData;
  double sortOrder = 0;
  bool showOnCard = false;
  Date createdAt = 0;
  std::optional<UUID> card;

  CardAttachment() = default;
  CardAttachment(std::string alias, double sortOrder, Date now);

  AttachmentKind kind() const { return attachmentKindFromRaw(kindRaw); }

  bool operator==(const CardAttachment &) const = default;
};

} // namespace taskory
