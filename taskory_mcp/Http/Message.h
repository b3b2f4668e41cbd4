#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

// A request and an answer as the endpoint and the board site see them: plain
// values, so that what decides an answer never depends on how the bytes
// were read or will be written. Header names compare ignoring letter case.
namespace taskory::HttpServer {

using Headers = std::vector<std::pair<std::string, std::string>>;

struct HttpRequest {
  std::string method; // as sent: "GET", "POST", …
  std::string path;   // the target up to "?"
  std::string query;  // after "?", still percent-encoded
  Headers headers;
  std::string body;

  // The first header of that name; empty when there is none.
  std::string_view header(std::string_view name) const;
  bool hasHeader(std::string_view name) const;
  // The first query parameter of that name, percent- and "+"-decoded; empty
  // when there is none.
  std::string param(std::string_view name) const;
  bool hasParam(std::string_view name) const;
  // A form's fields (application/x-www-form-urlencoded bodies only): the
  // first value of `name`, whether it is there, and every value of it.
  bool isForm() const;
  std::string field(std::string_view name) const;
  bool hasField(std::string_view name) const;
  std::vector<std::string> fields(std::string_view name) const;
};

struct HttpResponse {
  int status = 200;
  Headers headers;
  std::string body;
  // The connection ends after this answer: the request's body may not have
  // been read, and what is left of it must not be taken for the next one.
  bool close = false;

  // Replaces a header of that name, or adds it.
  void set(std::string_view name, std::string value);
  std::string_view header(std::string_view name) const;
  void setContent(std::string content, std::string_view type);
};

// "%xx" decoded (a "%" without two hex digits stays as it is); "+" is a
// space in a query, itself in a path.
std::string percentDecoded(std::string_view text, bool plusIsSpace);

} // namespace taskory::HttpServer
