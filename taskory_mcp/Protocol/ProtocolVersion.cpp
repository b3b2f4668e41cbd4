#include "Protocol/ProtocolVersion.h"

namespace taskory::Protocol {

nlohmann::json agreedVersion(const nlohmann::json &params) {
  const auto version = params.find("protocolVersion");
  return version != params.end() && version->is_string()
             ? *version
             : nlohmann::json(kDefaultVersion);
}

} // namespace taskory::Protocol
