#include "Http/Message.h"

#include "KanbanCore/Text.h"

#include <optional>
#include <utility>

namespace taskory::HttpServer {
namespace {

const std::string *find(const Headers &headers, std::string_view name) {
  for (const auto &[key, value] : headers)
    if (text::equalIgnoringASCIICase(key, name))
      return &value;
  return nullptr;
}

// Every value of `name` in "a=1&b=2" (a query or a form body), decoded.
std::vector<std::string> paramValues(std::string_view pairs,
                                     std::string_view name, bool firstOnly) {
  std::vector<std::string> values;
  while (!pairs.empty()) {
    const std::size_t end = pairs.find('&');
    const std::string_view pair = pairs.substr(0, end);
    pairs = end == std::string_view::npos ? std::string_view()
                                          : pairs.substr(end + 1);
    const std::size_t equals = pair.find('=');
    if (percentDecoded(pair.substr(0, equals), true) != name)
      continue;
    values.push_back(equals == std::string_view::npos
                         ? std::string()
                         : percentDecoded(pair.substr(equals + 1), true));
    if (firstOnly)
      break;
  }
  return values;
}

std::optional<std::string> findParam(std::string_view pairs,
                                     std::string_view name) {
  auto values = paramValues(pairs, name, true);
  if (values.empty())
    return std::nullopt;
  return std::move(values.front());
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

bool HttpRequest::isForm() const {
  const std::string_view type = header("Content-Type");
  return text::equalIgnoringASCIICase(
      text::trimmedSpacesAndTabs(type.substr(0, type.find(';'))),
      "application/x-www-form-urlencoded");
}

std::string HttpRequest::field(std::string_view name) const {
  return isForm() ? findParam(body, name).value_or(std::string())
                  : std::string();
}

bool HttpRequest::hasField(std::string_view name) const {
  return isForm() && findParam(body, name).has_value();
}

std::vector<std::string> HttpRequest::fields(std::string_view name) const {
  return isForm() ? paramValues(body, name, false) : std::vector<std::string>();
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
