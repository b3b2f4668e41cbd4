#pragma once

#include <nlohmann/json.hpp>

#include <string_view>

// The one rule for the protocol version, over both transports: the server
// speaks whatever version the client names, so initialize echoes it and the
// HTTP mode refuses no MCP-Protocol-Version header. A client that names
// none gets kDefaultVersion. Pure; safe from any thread.
namespace taskory::Protocol {

inline constexpr std::string_view kDefaultVersion = "2025-06-18";

// The version initialize answers with: `params.protocolVersion` when it is
// a string, unchanged; else kDefaultVersion.
nlohmann::json agreedVersion(const nlohmann::json &params);

} // namespace taskory::Protocol
