#include "Http/Message.h"

#include "KanbanCore/Text.h"

#include <optional>

namespace taskory::HttpServer {
namespace {

const std::string *find(const Headers &headers, std::string_view name) {
  for (const auto &[key, value] : headers)
    if (text::equalIgnoringASCIICase(key, name))
      return &value;
  return nullptr;
}

std::optional<std::string> findParam(std::string_view query,
                                     std::string_view name) {
  while (!query.empty()) {
    const std::size_t end = query.find('&');
    const std::string_view pair = query.substr(0, end);
    query = end == std::string_view::npos ? std::string_view()
                                          : query.substr(end + 1);
    const std::size_t equals = pair.find('=');
    if (percentDecoded(pair.substr(0, equals), true) == name)
      return equals == std::string_view::npos
                 ? std::string()
                 : percentDecoded(pair.substr(equals + 1), true);
  }
  return std::nullopt;
}

} // namespace

std::string percentDecoded(std::string_view text, bool plusIsSpace) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (plusIsSpace && text[i] == '+') {
      out += ' ';
    } else if (text[i] == '%' && i + 2 < text.size() &&
               text::hexDigitValue(text[i + 1]) >= 0 &&
               text::hexDigitValue(text[i + 2]) >= 0) {
      out += char(text::hexDigitValue(text[i + 1]) * 16 +
                  text::hexDigitValue(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

std::string_view HttpRequest::header(std::string_view name) const {
  const std::string *value = find(headers, name);
  return value ? std::string_view(*value) : std::string_view();
}

bool HttpRequest::hasHeader(std::string_view name) const {
  return find(headers, name) != nullptr;
}

std::string HttpRequest::param(std::string_view name) const {
  return findParam(query, name).value_or(std::string());
}

bool HttpRequest::hasParam(std::string_view name) const {
  return findParam(query, name).has_value();
}

void HttpResponse::set(std::string_view name, std::string value) {
  for (auto &[key, existing] : headers)
    if (text::equalIgnoringASCIICase(key, name)) {
      existing = std::move(value);
      return;
    }
  headers.emplace_back(std::string(name), std::move(value));
}

std::string_view HttpResponse::header(std::string_view name) const {
  const std::string *value = find(headers, name);
  return value ? std::string_view(*value) : std::string_view();
}

void HttpResponse::setContent(std::string content, std::string_view type) {
  body = std::move(content);
  set("Content-Type", std::string(type));
}

} // namespace taskory::HttpServer
