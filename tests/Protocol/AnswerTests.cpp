#include "Protocol/Answer.h"

#include "KanbanTools/Arguments.h"
#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

namespace taskory::Protocol {
// Named in failure messages (found through the enum's namespace).
static std::ostream &operator<<(std::ostream &out, MessageKind kind) {
  const char *names[] = {"request", "notification", "response", "invalid",
                         "notJSON"};
  return out << names[static_cast<int>(kind)];
}
} // namespace taskory::Protocol

namespace taskory {
namespace {

using nlohmann::json;
namespace Server = Protocol;
using Server::MessageKind;

// Stands in for the tool layer: "echo" answers with what it was given, the
// other names fail in the ways a real tool call can.
std::string fakeTool(std::string_view name, const json &arguments) {
  if (name == "tool_error")
    throw ToolError{"Karte „X“ nicht gefunden"};
  if (name == "store_error")
    throw std::runtime_error("Der Store ist gerade belegt");
  if (name == "odd_throw")
    throw 42;
  if (name == "bad_utf8")
    return "a\xFF"
           "b/c\nd";
  return "echo " + std::string(name) + " " + arguments.dump();
}

std::optional<std::string> handle(const std::string &line) {
  return Server::handleLine(line, fakeTool);
}
// Each line gets its answer, or none.
void expectAnswers(
    const std::vector<std::pair<std::string, std::optional<std::string>>>
        &cases) {
  for (const auto &[line, answer] : cases)
    EXPECT_EQ(handle(line), answer) << testing::PrintToString(line);
}
json resultOf(const std::string &method, const std::string &params) {
  const auto answer =
      handle(R"({"id":0,"method":")" + method + "\"" +
             (params.empty() ? "" : ",\"params\":" + params) + "}");
  return answer ? json::parse(*answer).at("result") : json();
}
std::string ping(const std::string &id, const std::string &extra = "") {
  return R"({"id":)" + id + R"(,"method":"ping")" + extra + "}";
}
std::string pong(const std::string &id) {
  return R"({"jsonrpc":"2.0","id":)" + id + R"(,"result":{}})";
}
std::string unknown(const std::string &method) {
  return R"({"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"Unbekannte Methode: )" +
         method + "\"}}";
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
// A ping whose params are `depth` levels of `open` ... `close`.
std::string nested(std::size_t depth, std::string_view open,
                   std::string_view close) {
  std::string opens, closes;
  for (std::size_t i = 0; i < depth; ++i)
    opens += open, closes += close;
  return R"({"id":1,"method":"ping","params":)" + opens + "0" + closes + "}";
}

// Members count at the top level only; notifications get no answer either.
TEST(Answer, LinesWithoutAnAnswerAreSkippedSilently) {
  for (std::string line :
       {"", "\r", "not json", R"({"id":1,"method":"ping")",
        R"({"id":1,"method":"ping"} x)", R"([{"id":1,"method":"ping"}])",
        R"("ping")", "null", R"({"id":1,"method":7})", R"({"method":"ping"})",
        R"({"method":"tools/call","params":{"name":"echo"}})",
        R"({"params":{"id":3},"method":"ping"})"})
    EXPECT_EQ(handle(line), std::nullopt) << line;
  EXPECT_EQ(handle(ping("1") + '\0'), std::nullopt);
}

// However deep its parameters nest, a request is still answered: values
// beyond the limit are dropped, never parsed recursively.
TEST(Answer, DeeplyNestedParamsAreStillAnswered) {
  for (const auto &[open, close] : {std::pair{"[", "]"}, {R"({"a":)", "}"}})
    for (std::size_t depth :
         {std::size_t{100000}, Server::kMaxNesting, Server::kMaxNesting - 1})
      EXPECT_EQ(handle(nested(depth, open, close)), pong("1"))
          << open << " " << depth;
}

// Ids come back token for token, whatever JSON value they are.
TEST(Answer, IdsComeBackTokenForToken) {
  for (std::string id :
       {"1", R"("a")", "null", "-7", "9007199254740993", "18446744073709551615",
        "-9223372036854775809", "123456789012345678901234567890", "1.50",
        "2.5e-3", "true", R"("a\u0000b")", "-0", "-0.0", "0e0", "1E2", "1e+2",
        "0.10", "-1e-999"})
    EXPECT_EQ(handle(ping(id)), pong(id)) << id;
  EXPECT_EQ(
      handle(ping(
          R"( { "b" : [ 1 , 1e2 , "x/y" , null , {} , [] ] , "a" : 2 } )")),
      pong(R"({"b":[1,1e2,"x\/y",null,{},[]],"a":2})"));
}

TEST(Answer, OfRepeatedKeysTheLastCounts) {
  expectAnswers({{R"({"id":1,"method":"nope","id":"2nd","method":"ping"})",
                  pong(R"("2nd")")},
                 {R"({"i\u0064":5,"method":"ping"})", pong("5")}});
}

// One line each: raw UTF-8, invalid bytes as U+FFFD, "/" escaped.
TEST(Answer, AnswersAreValidUTF8OnOneLine) {
  expectAnswers(
      {{ping(R"("ä\u00e4\n")"), pong(R"("ää\n")")},
       {ping("\"\xC0\xAF\xE2\x82\""),
        pong("\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"")},
       {ping("1") + "\r", pong("1")},
       {R"({"id":"a/b","method":"tools/call","params":{"name":"bad_utf8"}})",
        R"({"jsonrpc":"2.0","id":"a\/b","result":{"content":[{"text":"a)"
        "\xEF\xBF\xBD"
        R"(b\/c\nd","type":"text"}],"isError":false}})"}});
}

TEST(Answer, UnknownMethodsGetMethodNotFound) {
  expectAnswers(
      {{R"({"id":4,"method":"resources/list"})", unknown(R"(resources\/list)")},
       {R"({"id":4,"method":"Ping"})", unknown("Ping")},
       {R"({"id":4,"method":"","params":[1]})", unknown("")},
       {"{\"id\":4,\"method\":\"x\xFF\"}", unknown("x\xEF\xBF\xBD")}});
}

// Name, version and capabilities reach the client: sdk_session.
TEST(Answer, InitializeEchoesAStringProtocolVersionOnly) {
  for (const auto &[params, version] :
       {std::pair{R"({"protocolVersion":"beliebig/1"})", "beliebig/1"},
        {R"({"protocolVersion":20241105})", "2025-06-18"},
        {"", "2025-06-18"},
        {R"("2024-11-05")", "2025-06-18"}}) {
    const json result = resultOf("initialize", params);
    EXPECT_EQ(result["protocolVersion"], version) << params;
    EXPECT_TRUE(result["instructions"].is_string()) << params;
  }
}

TEST(Answer, ToolsListServesTheCatalogueWhateverTheParams) {
  EXPECT_EQ(resultOf("tools/list", "7"),
            json({{"tools", KanbanTools::specs()}}));
}

TEST(Answer, ToolCallsAnswerInTheTextEnvelope) {
  const auto envelope = [](std::string text, bool isError) {
    return json({{"content", {{{"type", "text"}, {"text", text}}}},
                 {"isError", isError}});
  };
  const std::pair<std::string, json> cases[] = {
      {R"({"name":"echo","arguments":{"a":[1]}})",
       envelope(R"(echo echo {"a":[1]})", false)},
      {R"({"name":7,"arguments":"x"})", envelope("echo  {}", false)},
      {"[]", envelope("echo  {}", false)},
      {R"({"name":"tool_error"})",
       envelope("Fehler: Karte „X“ nicht gefunden", true)},
      {R"({"name":"store_error"})",
       envelope("Fehler: Der Store ist gerade belegt", true)},
      {R"({"name":"odd_throw"})",
       envelope("Fehler: Unbekannter Fehler beim Ausführen des Tools", true)}};
  for (const auto &[params, result] : cases)
    EXPECT_EQ(resultOf("tools/call", params), result) << params;
}

// A tool's text is written into the answer line directly; byte for byte as
// its JSON value would be written, escapes, "\/" and U+FFFD included.
TEST(Answer, ToolTextsAreWrittenAsTheirJSONValueWouldBe) {
  std::string everyASCII;
  for (int c = 1; c < 0x80; ++c)
    everyASCII += static_cast<char>(c);
  // Plain text is taken eight bytes at a time: each byte that is not plain,
  // at every place in such a word.
  std::vector<std::string> texts;
  for (const std::string odd : {"\"", "\\", "/", "\x1F", "\x7F", "ä", "\xFF"})
    for (std::size_t before = 0; before < 9; ++before)
      texts.push_back(std::string(before, 'a') + odd +
                      std::string(16 - before, 'b'));
  texts.insert(texts.end(),
               {"", everyASCII, std::string("a\0b", 3),
                "Grüße „x“ – 🙂 … \xC2\xA0", "overlong \xC0\xAF",
                "surrogate \xED\xA0\x80", "beyond U+10FFFF \xF4\x90\x80\x80",
                "cut \xE2\x82", "🙂/\xF0\x9F\x99"});
  const Server::Request request =
      Server::readMessage(
          R"({"id":"a/\u00e4","method":"tools/call","params":{}})")
          .request;
  for (const std::string &text : texts)
    for (const bool isError : {false, true}) {
      const auto tool = [&](std::string_view, const json &) -> std::string {
        if (isError)
          throw ToolError{text};
        return text;
      };
      const json item = {{"type", "text"},
                         {"text", isError ? "Fehler: " + text : text}};
      EXPECT_EQ(Server::answer(request, tool),
                Server::respond(request.id, {{"content", json::array({item})},
                                             {"isError", isError}}))
          << testing::PrintToString(text) << " isError " << isError;
    }
}

// All valid JSON: a client that sent them waits for their answers.
TEST(RequestReading, OddButValidJSONAnywhereStillGetsTheAnswer) {
  const std::string digits400(400, '7');
  expectAnswers(
      {{ping("1e999"), pong("1e999")},
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
       {ping(R"("\ud800\u0041")"), pong(R"("\ud800A")")}});
}

TEST(RequestReading, LoneSurrogatesInArgumentsReadAsReplacementCharacter) {
  const std::pair<std::string, json> cases[] = {
      {R"({"t":"a\ud800b"})", json{{"t", "a\uFFFDb"}}},
      {R"({"t":"\udc00\ud800"})", json{{"t", "\uFFFD\uFFFD"}}},
      {R"({"t":"\ud800\ud800\udc00"})", json{{"t", "\uFFFD\U00010000"}}},
      {R"({"\udfff":["\ud800x"]})", json{{"\uFFFD", {"\uFFFDx"}}}},
      {"{\"t\":\"\xED\xA0\x80\"}", json{{"t", "\uFFFD\uFFFD\uFFFD"}}}};
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

// The reader is strict: whatever is not JSON stays unanswered; a byte order
// mark may open a JSON text, and whitespace may surround it.
TEST(RequestReading, AnythingThatIsNotJsonGetsNoAnswer) {
  // clang-format off
  for (std::string id : {"01", "-", "1.", ".5", "1e", "1e+", "+1", "0x10", "NaN", "Infinity",
                         "-Infinity", "tru", "nul", "True", "'a'", R"("a)", R"("\x")",
                         R"("\u12G4")", R"("\ud800\u12")", "\"tab\there\"", "[1,]", "[,1]",
                         "{\"a\"}", "{\"a\":1,}", "{a:1}", "[1 2]", "{\"a\" 1}", "1 2"})
    // clang-format on
    EXPECT_EQ(handle(ping(id)), std::nullopt) << id;
  expectAnswers({{R"({"id":1,"method":"ping",})", std::nullopt},
                 {R"({,"id":1,"method":"ping"})", std::nullopt},
                 {R"({"id":1,"method":"ping"}})", std::nullopt},
                 {"{\"id\":1,\"method\":\"ping\"}\f", std::nullopt},
                 {"\xEF\xBB\xBF\xEF\xBB\xBF" + ping("1"), std::nullopt},
                 {"\v" + ping("1"), std::nullopt},
                 {"\xEF\xBB\xBF" + ping("1"), pong("1")},
                 {" \t\r" + ping(" [ 1 , { \"a\" : 2 } ] ") + " \r",
                  pong("[1,{\"a\":2}]")}});
}

// The kind decides the answer: only requests get one, and over HTTP the
// others are acknowledged or refused by kind.
TEST(RequestReading, MessagesAreToldApartByKind) {
  const std::pair<MessageKind, std::vector<std::string>> kinds[] = {
      {MessageKind::request,
       {R"({"jsonrpc":"2.0","id":1,"method":"ping"})",
        R"({"id":null,"method":"ping"})",
        R"({"method":"ping","params":{"id":1},"id":[]})",
        R"({"method":1,"method":"ping","id":1})",
        " \n{\"id\":1,\n\"method\":\"ping\"}\r\n"}},
      {MessageKind::notification,
       {R"({"method":"notifications/initialized"})",
        R"({"method":"x","params":{"id":1,"method":2}})"}},
      {MessageKind::response,
       {R"({"id":1,"result":{}})",
        R"({"id":"a","error":{"code":1,"message":"x"}})",
        R"({"id":1e999,"result":-1e999})"}},
      {MessageKind::invalid,
       {R"({"method":"ping","id":1,"method":2})", R"({"id":1})",
        R"({"result":{}})", R"({})", R"([{"id":1,"method":"ping"}])",
        R"("ping")", "null", " 1e999 "}},
      {MessageKind::notJSON,
       {"", "{", "[1,]", R"({"id":1,"method":"ping"} {})", "null null",
        std::string("{\"id\":1,\"method\":\"ping\"}\0", 25)}}};
  for (const auto &[kind, texts] : kinds)
    for (const std::string &text : texts)
      EXPECT_EQ(Server::readMessage(text).kind, kind) << text;
}

} // namespace
} // namespace taskory
