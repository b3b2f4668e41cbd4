#include "Server/HttpMessage.h"

#include <nlohmann/json.hpp>

#include <cstddef>
#include <string>
#include <utility>

namespace taskory::HttpServer {
namespace {

// Records, while a body is parsed, the members that tell the kinds of
// JSON-RPC message apart; builds nothing.
class MessageShape final : public nlohmann::json_sax<nlohmann::json> {
public:
  bool isObject = false;
  bool hasID = false;
  bool hasMethod = false;
  bool methodIsString = false;
  bool hasOutcome = false; // "result" or "error"

  bool null() override { return member(false); }
  bool boolean(bool) override { return member(false); }
  bool number_integer(number_integer_t) override { return member(false); }
  bool number_unsigned(number_unsigned_t) override { return member(false); }
  bool number_float(number_float_t, const string_t &) override {
    return member(false);
  }
  bool string(string_t &) override { return member(true); }
  bool binary(binary_t &) override { return false; }
  bool start_object(std::size_t) override {
    if (depth_ == 0)
      isObject = true;
    else
      member(false);
    ++depth_;
    return true;
  }
  bool key(string_t &name) override {
    if (depth_ == 1)
      key_ = std::move(name);
    return true;
  }
  bool end_object() override {
    --depth_;
    return true;
  }
  bool start_array(std::size_t) override {
    member(false);
    ++depth_;
    return true;
  }
  bool end_array() override {
    --depth_;
    return true;
  }
  bool parse_error(std::size_t, const std::string &,
                   const nlohmann::detail::exception &) override {
    return false;
  }

private:
  // A value begins; only those directly inside the top-level object count.
  bool member(bool isString) {
    if (depth_ != 1)
      return true;
    if (key_ == "method") {
      hasMethod = true;
      methodIsString = isString; // the last of repeated keys counts
    } else if (key_ == "id") {
      hasID = true;
    } else if (key_ == "result" || key_ == "error") {
      hasOutcome = true;
    }
    return true;
  }

  std::size_t depth_ = 0;
  std::string key_;
};

} // namespace

MessageKind classify(std::string_view body) {
  // nlohmann's reader takes a raw NUL for the end of the input (see
  // KanbanMCPServer::parseRequest): such a body is not JSON, whatever follows.
  if (body.find('\0') != std::string_view::npos)
    return MessageKind::notJSON;
  MessageShape shape;
  if (!nlohmann::json::sax_parse(body.begin(), body.end(), &shape))
    return MessageKind::notJSON;
  if (!shape.isObject)
    return MessageKind::invalid;
  if (shape.hasMethod)
    return !shape.methodIsString ? MessageKind::invalid
           : shape.hasID         ? MessageKind::request
                                 : MessageKind::notification;
  return shape.hasID && shape.hasOutcome ? MessageKind::response
                                         : MessageKind::invalid;
}

} // namespace taskory::HttpServer
