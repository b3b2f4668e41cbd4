#include "Server/KanbanMCPServer.h"

#include "KanbanTools/Arguments.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace taskory::KanbanMCPServer {
// Named in failure messages (found through the enum's namespace).
static std::ostream &operator<<(std::ostream &out, MessageKind kind) {
  switch (kind) {
  case MessageKind::request:
    return out << "request";
  case MessageKind::notification:
    return out << "notification";
  case MessageKind::response:
    return out << "response";
  case MessageKind::invalid:
    return out << "invalid";
  case MessageKind::notJSON:
    return out << "notJSON";
  }
  return out;
}
} // namespace taskory::KanbanMCPServer

namespace taskory {
namespace {

using nlohmann::json;
namespace Server = KanbanMCPServer;
using Server::MessageKind;

std::optional<std::string> handle(const std::string &line) {
  return Server::handleLine(
      line, [](std::string_view, const json &) { return std::string("ok"); });
}
std::string ping(const std::string &id, const std::string &extra = "") {
  return R"({"id":)" + id + R"(,"method":"ping")" + extra + "}";
}
std::string pong(const std::string &id) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{}})";
}
// The arguments of a tools/call line as the tool would receive them.
json argumentsOf(const std::string &arguments) {
  const auto message = Server::readMessage(
      R"({"id":1,"method":"tools/call","params":{"name":"x","arguments":)" +
      arguments + "}}");
  return message.kind == MessageKind::request
             ? message.request.params.at("arguments")
             : json("no request");
}

// All valid JSON: a client that sent them waits for their answers.
TEST(RequestReading, OddButValidJSONAnywhereStillGetsTheAnswer) {
  const std::string digits400(400, '7');
  const std::pair<std::string, std::string> cases[] = {
      {ping("1e999"), pong("1e999")},
      {ping("-1e999"), pong("-1e999")},
      {ping(digits400), pong(digits400)},
      {ping("-" + digits400 + ".5e-3"), pong("-" + digits400 + ".5e-3")},
      {ping("[1e999,{\"a\":-1E+999}]"), pong("[1e999,{\"a\":-1E+999}]")},
      {ping("1", R"(,"params":{"x":1e999,"y":[)" + digits400 + "]}"),
       pong("1")},
      {ping("1", R"(,"x":-1e999)"), pong("1")},
      {ping("1", R"(,"params":{"x":"\ud800"})"), pong("1")},
      {ping("1", R"(,"x":"\udc00x")"), pong("1")},
      // A lone surrogate in the id comes back as its escape, so that the
      // client finds the request it belongs to; a pair is one character.
      {ping(R"("\ud800")"), pong(R"("\ud800")")},
      {ping(R"("a\uDC00\ud800b")"), pong(R"("a\udc00\ud800b")")},
      {ping(R"("\ud83d\ude00")"), pong("\"\xF0\x9F\x98\x80\"")},
      {ping(R"("\ud800\u0041")"), pong(R"("\ud800A")")},
  };
  for (const auto &[line, answer] : cases)
    EXPECT_EQ(handle(line), answer) << line;
}

TEST(RequestReading, LoneSurrogatesInArgumentsReadAsReplacementCharacter) {
  const std::pair<std::string, json> cases[] = {
      {R"({"t":"a\ud800b"})", json{{"t", "a\uFFFDb"}}},
      {R"({"t":"\udc00\ud800"})", json{{"t", "\uFFFD\uFFFD"}}},
      {R"({"t":"\ud800\ud800\udc00"})", json{{"t", "\uFFFD\U00010000"}}},
      {R"({"\udfff":["\ud800x"]})", json{{"\uFFFD", {"\uFFFDx"}}}},
      {"{\"t\":\"\xED\xA0\x80\"}", json{{"t", "\uFFFD\uFFFD\uFFFD"}}},
  };
  for (const auto &[arguments, expected] : cases)
    EXPECT_EQ(argumentsOf(arguments), expected) << arguments;
}

// Beyond double range is a number no argument can use: not an integer, not
// a number, and not a string either.
TEST(RequestReading, NumbersBeyondDoubleRangeCountAsAbsentArguments) {
  const std::string nines(400, '9');
  for (const std::string &number : {std::string("1e999"), std::string("-1e999"),
                                    nines, "-" + nines + ".0"}) {
    const json arguments = argumentsOf(R"({"n":)" + number + "}");
    EXPECT_EQ(args::integer(arguments, "n"), std::nullopt) << number;
    EXPECT_EQ(args::number(arguments, "n"), std::nullopt) << number;
    EXPECT_TRUE(args::string(arguments, "n") == nullptr) << number;
  }
  EXPECT_EQ(argumentsOf(R"({"n":1e-999})"), json({{"n", 0.0}}));
}

// The reader is strict: whatever is not JSON stays unanswered.
TEST(RequestReading, AnythingThatIsNotJsonGetsNoAnswer) {
  for (std::string id : {"01",
                         "-",
                         "1.",
                         ".5",
                         "1e",
                         "1e+",
                         "+1",
                         "0x10",
                         "NaN",
                         "Infinity",
                         "-Infinity",
                         "tru",
                         "nul",
                         "True",
                         "'a'",
                         R"("a)",
                         R"("\x")",
                         R"("\u12G4")",
                         R"("\ud800\u12")",
                         "\"tab\there\"",
                         "[1,]",
                         "[,1]",
                         "{\"a\"}",
                         "{\"a\":1,}",
                         "{a:1}",
                         "[1 2]",
                         "{\"a\" 1}",
                         "1 2"})
    EXPECT_EQ(handle(ping(id)), std::nullopt) << id;
  for (const std::string &line : std::vector<std::string>{
           R"({"id":1,"method":"ping",})", R"({,"id":1,"method":"ping"})",
           R"({"id":1,"method":"ping"}})", "{\"id\":1,\"method\":\"ping\"}\f",
           "\xEF\xBB\xBF\xEF\xBB\xBF" + ping("1"), "\v" + ping("1")})
    EXPECT_EQ(handle(line), std::nullopt) << line;
  // A byte order mark may open a JSON text, and whitespace may surround it.
  EXPECT_EQ(handle("\xEF\xBB\xBF" + ping("1")), pong("1"));
  EXPECT_EQ(handle(" \t\r" + ping(" [ 1 , { \"a\" : 2 } ] ") + " \r"),
            pong("[1,{\"a\":2}]"));
}

// The kind decides the answer: only requests get one, and over HTTP the
// others are acknowledged or refused by kind.
TEST(RequestReading, MessagesAreToldApartByKind) {
  const struct {
    std::string text;
    MessageKind kind;
  } cases[] = {
      {R"({"jsonrpc":"2.0","id":1,"method":"ping"})", MessageKind::request},
      {R"({"id":null,"method":"ping"})", MessageKind::request},
      {R"({"method":"ping","params":{"id":1},"id":[]})", MessageKind::request},
      {R"({"method":1,"method":"ping","id":1})", MessageKind::request},
      {" \n{\"id\":1,\n\"method\":\"ping\"}\r\n", MessageKind::request},
      {R"({"method":"notifications/initialized"})", MessageKind::notification},
      {R"({"method":"x","params":{"id":1,"method":2}})",
       MessageKind::notification},
      {R"({"id":1,"result":{}})", MessageKind::response},
      {R"({"id":"a","error":{"code":1,"message":"x"}})", MessageKind::response},
      {R"({"id":1e999,"result":-1e999})", MessageKind::response},
      {R"({"method":"ping","id":1,"method":2})", MessageKind::invalid},
      {R"({"id":1})", MessageKind::invalid},
      {R"({"result":{}})", MessageKind::invalid},
      {R"({})", MessageKind::invalid},
      {R"([{"id":1,"method":"ping"}])", MessageKind::invalid},
      {R"("ping")", MessageKind::invalid},
      {"null", MessageKind::invalid},
      {" 1e999 ", MessageKind::invalid},
      {"", MessageKind::notJSON},
      {"{", MessageKind::notJSON},
      {"[1,]", MessageKind::notJSON},
      {R"({"id":1,"method":"ping"} {})", MessageKind::notJSON},
      {"null null", MessageKind::notJSON},
      {std::string("{\"id\":1,\"method\":\"ping\"}\0", 25),
       MessageKind::notJSON},
  };
  for (const auto &c : cases)
    EXPECT_EQ(Server::readMessage(c.text).kind, c.kind) << c.text;
}

} // namespace
} // namespace taskory
