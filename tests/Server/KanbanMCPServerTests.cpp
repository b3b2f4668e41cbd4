#include "Server/KanbanMCPServer.h"

#include "KanbanTools/KanbanTools.h"
#include "KanbanTools/ToolError.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <stdexcept>
#include <string>
#include <unistd.h>
#include <vector>

namespace taskory {
namespace {

using nlohmann::json;
namespace Server = KanbanMCPServer;

const std::string kInstructions =
    "Taskory: Aufgabenverwaltung des Users (Pläne → Buckets → Karten mit "
    "Checklisten). list_cards immer mit plan + bucket oder query eingrenzen; "
    "IDs auch als Kürzel (mind. 6 Zeichen). Teilschritte als Checkliste statt "
    "eigener Karten; abhaken/ergänzen per update_card (check_items, "
    "add_items). Schreib-Tools antworten knapp, Details per get_card; nie "
    "löschen oder archivieren ohne ausdrücklichen Wunsch.";

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

std::optional<std::string> handle(std::string_view line) {
  return Server::handleLine(line, fakeTool);
}

// What must come back for a request line; nothing means no answer at all.
struct Exchange {
  std::string line;
  std::optional<std::string> answer;
};

void expectExchanges(const std::vector<Exchange> &exchanges) {
  for (const auto &e : exchanges)
    EXPECT_EQ(handle(e.line), e.answer) << testing::PrintToString(e.line);
}

TEST(KanbanMCPServer, LinesWithoutAnAnswerAreSkippedSilently) {
  expectExchanges({
      {"", std::nullopt},
      {" ", std::nullopt},
      {"\r", std::nullopt},
      {"not json", std::nullopt},
      {R"({"id":1,"method":"ping")", std::nullopt},
      {R"({"id":1,"method":"ping"} trailing)", std::nullopt},
      {R"([{"id":1,"method":"ping"}])", std::nullopt},
      {R"("ping")", std::nullopt},
      {"42", std::nullopt},
      {"null", std::nullopt},
      {R"({"id":1})", std::nullopt},
      {R"({"id":1,"method":7})", std::nullopt},
      {R"({"id":1,"method":null})", std::nullopt},
      {R"({"method":"ping"})", std::nullopt},
      {R"({"method":"initialize","params":{}})", std::nullopt},
      {R"({"jsonrpc":"2.0","method":"notifications/initialized"})",
       std::nullopt},
      {R"({"method":"tools/call","params":{"name":"echo"}})", std::nullopt},
      {R"({"id":1,"method":"ping"})" + std::string(1, '\0'), std::nullopt},
      {R"({"id":1,"method":)" + std::string(1, '\0') + R"("ping"})",
       std::nullopt},
      {R"({"id":1,"method":"ping","x":1e999})", std::nullopt},
      {R"({"id":1,"method":"ping","x":"\ud800"})", std::nullopt},
  });
}

TEST(KanbanMCPServer, PingEchoesIdsWithTheirTypeAndToken) {
  const std::string bigInteger = "123456789012345678901234567890";
  expectExchanges({
      {R"({"id":1,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":1,"result":{}})"},
      {R"({"id":"a","method":"ping"})",
       R"({"jsonrpc":"2.0","id":"a","result":{}})"},
      {R"({"id":null,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":null,"result":{}})"},
      {R"({"id":-7,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":-7,"result":{}})"},
      {R"({"id":9007199254740993,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":9007199254740993,"result":{}})"},
      {R"({"id":18446744073709551615,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":18446744073709551615,"result":{}})"},
      {R"({"id":-9223372036854775809,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":-9223372036854775809,"result":{}})"},
      {R"({"id":)" + bigInteger + R"(,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":)" + bigInteger + R"(,"result":{}})"},
      {R"({"id":1.50,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":1.50,"result":{}})"},
      {R"({"id":2.5e-3,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":2.5e-3,"result":{}})"},
      {R"({"id":true,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":true,"result":{}})"},
      {R"({"id" : { "b" : [ 1 , 1e2 , "x/y" , null , {} , [] ] , "a" : 2 } ,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":{"b":[1,1e2,"x\/y",null,{},[]],"a":2},"result":{}})"},
      {R"({"id":"ä\u00e4\n","method":"ping"})",
       R"({"jsonrpc":"2.0","id":"ää\n","result":{}})"},
      {R"({"id":"a\u0000b","method":"ping"})",
       R"({"jsonrpc":"2.0","id":"a\u0000b","result":{}})"},
      // The last of repeated keys counts, for the id as for any member.
      {R"({"id":1,"method":"nope","id":"second","method":"ping"})",
       R"({"jsonrpc":"2.0","id":"second","result":{}})"},
      {R"({"i\u0064":5,"method":"ping"})",
       R"({"jsonrpc":"2.0","id":5,"result":{}})"},
      // Members are read at the top level only.
      {R"({"params":{"id":3},"method":"ping"})", std::nullopt},
      {"{\"id\":1,\"method\":\"ping\"}\r",
       R"({"jsonrpc":"2.0","id":1,"result":{}})"},
  });
}

TEST(KanbanMCPServer, UnknownMethodsGetMethodNotFound) {
  expectExchanges({
      {R"({"id":4,"method":"resources/list"})",
       R"({"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"Unbekannte Methode: resources\/list"}})"},
      {R"({"id":4,"method":"Ping"})",
       R"({"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"Unbekannte Methode: Ping"}})"},
      {R"({"id":4,"method":""})",
       R"({"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"Unbekannte Methode: "}})"},
      {R"({"id":4,"method":"shutdown","params":[1]})",
       R"({"jsonrpc":"2.0","id":4,"error":{"code":-32601,"message":"Unbekannte Methode: shutdown"}})"},
  });
}

json resultOf(std::string_view line) {
  auto answer = handle(line);
  if (!answer)
    return nullptr;
  return json::parse(*answer).at("result");
}

TEST(KanbanMCPServer, InitializeEchoesAStringProtocolVersionOnly) {
  const struct {
    std::string params;
    std::string version;
  } cases[] = {
      {R"({"protocolVersion":"2024-11-05"})", "2024-11-05"},
      {R"({"protocolVersion":"beliebig/1"})", "beliebig/1"},
      {R"({"protocolVersion":20241105})", "2025-06-18"},
      {R"({})", "2025-06-18"},
      {R"([])", "2025-06-18"},
      {R"("2024-11-05")", "2025-06-18"},
  };
  for (const auto &c : cases) {
    const json result =
        resultOf(R"({"id":0,"method":"initialize","params":)" + c.params + "}");
    EXPECT_EQ(result,
              json({{"protocolVersion", c.version},
                    {"capabilities", {{"tools", json::object()}}},
                    {"serverInfo", {{"name", "taskory"}, {"version", "1.1.0"}}},
                    {"instructions", kInstructions}}))
        << c.params;
  }
  EXPECT_EQ(resultOf(R"({"id":0,"method":"initialize"})")["protocolVersion"],
            "2025-06-18");
}

TEST(KanbanMCPServer, ToolsListServesTheCatalogueWithoutInitialize) {
  const json result = resultOf(R"({"id":1,"method":"tools/list","params":7})");
  EXPECT_EQ(result, json({{"tools", KanbanTools::specs()}}));
}

TEST(KanbanMCPServer, ToolCallsAnswerInTheTextEnvelope) {
  const auto envelope = [](std::string text, bool isError) {
    return json({{"content", {{{"type", "text"}, {"text", text}}}},
                 {"isError", isError}});
  };
  const struct {
    std::string params;
    json result;
  } cases[] = {
      {R"({"name":"echo","arguments":{"a":[1]}})",
       envelope(R"(echo echo {"a":[1]})", false)},
      {R"({"name":"echo","arguments":[1,2]})", envelope("echo echo {}", false)},
      {R"({"name":"echo","arguments":"x"})", envelope("echo echo {}", false)},
      {R"({"name":7})", envelope("echo  {}", false)},
      {R"({})", envelope("echo  {}", false)},
      {R"([])", envelope("echo  {}", false)},
      {R"({"name":"tool_error"})",
       envelope("Fehler: Karte „X“ nicht gefunden", true)},
      {R"({"name":"store_error"})",
       envelope("Fehler: Der Store ist gerade belegt", true)},
      {R"({"name":"odd_throw"})",
       envelope("Fehler: Unbekannter Fehler beim Ausführen des Tools", true)},
      {R"({"name":"bad_utf8"})", envelope("a\uFFFDb/c\nd", false)},
  };
  for (const auto &c : cases)
    EXPECT_EQ(
        resultOf(R"({"id":1,"method":"tools/call","params":)" + c.params + "}"),
        c.result)
        << c.params;
}

TEST(KanbanMCPServer, AnswersAreOneLineWithSlashesEscapedAndRawUTF8) {
  const auto answer = handle(
      R"({"id":"a/b","method":"tools/call","params":{"name":"bad_utf8"}})");
  ASSERT_TRUE(answer);
  EXPECT_EQ(*answer,
            R"({"jsonrpc":"2.0","id":"a\/b","result":{"content":[{"text":"a)"
            "\xEF\xBF\xBD"
            R"(b\/c\nd","type":"text"}],"isError":false}})");
}

TEST(KanbanMCPServer, InvalidUTF8InTheRequestBecomesReplacementCharacters) {
  EXPECT_EQ(handle("{\"id\":\"\xC3\",\"method\":\"ping\"}"),
            "{\"jsonrpc\":\"2.0\",\"id\":\"\xEF\xBF\xBD\",\"result\":{}}");
  EXPECT_EQ(handle("{\"id\":\"\xC0\xAF\xE2\x82\",\"method\":\"ping\"}"),
            "{\"jsonrpc\":\"2.0\",\"id\":\"\xEF\xBF\xBD\xEF\xBF\xBD"
            "\xEF\xBF\xBD\",\"result\":{}}");
  EXPECT_EQ(handle("{\"id\":1,\"method\":\"x\xFF\"}"),
            "{\"jsonrpc\":\"2.0\",\"id\":1,\"error\":{\"code\":-32601,"
            "\"message\":\"Unbekannte Methode: x\xEF\xBF\xBD\"}}");
}

TEST(KanbanMCPServer, HostileLinesNeitherCrashNorHang) {
  const std::string deepArray(100000, '[');
  const std::string deepObject = [] {
    std::string s;
    for (int i = 0; i < 100000; ++i)
      s += R"({"a":)";
    return s;
  }();
  std::string nested = R"({"id":1,"method":"ping","params":)";
  for (std::size_t i = 0; i < Server::kMaxNesting; ++i)
    nested += '[';
  nested += std::string(Server::kMaxNesting, ']') + "}";
  std::string shallow = R"({"id":1,"method":"ping","params":)";
  shallow += std::string(Server::kMaxNesting - 1, '[') +
             std::string(Server::kMaxNesting - 1, ']') + "}";
  const std::string bigString =
      R"({"id":1,"method":"tools/call","params":{"name":")" +
      std::string(10 * 1024 * 1024, 'n') + R"("}})";

  EXPECT_EQ(handle(deepArray), std::nullopt);
  EXPECT_EQ(handle(R"({"id":1,"method":"ping","params":)" + deepArray),
            std::nullopt);
  EXPECT_EQ(handle(deepObject), std::nullopt);
  EXPECT_EQ(handle(nested), R"({"jsonrpc":"2.0","id":1,"result":{}})")
      << "a request nested beyond the limit is still answered";
  EXPECT_EQ(handle(shallow), R"({"jsonrpc":"2.0","id":1,"result":{}})");
  const json result = resultOf(bigString);
  EXPECT_EQ(result["content"][0]["text"],
            "echo " + std::string(10 * 1024 * 1024, 'n') + " {}");
}

// Runs the loop over `input` and returns what it wrote and its status.
std::pair<std::string, int> serveBytes(const std::string &input) {
  FILE *in = std::tmpfile();
  FILE *out = std::tmpfile();
  std::fwrite(input.data(), 1, input.size(), in);
  std::fflush(in);
  std::rewind(in);
  const int status = Server::serve(fileno(in), fileno(out), fakeTool);
  std::string written;
  std::rewind(out);
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;)
    written.append(buffer, n);
  std::fclose(in);
  std::fclose(out);
  return {written, status};
}

TEST(KanbanMCPServerLoop, AnswersInOrderOneLineFeedEach) {
  const auto [written, status] =
      serveBytes("\n\n{\"id\":1,\"method\":\"ping\"}\n"
                 "garbage\n"
                 "{\"method\":\"notifications/initialized\"}\n"
                 "{\"id\":2,\"method\":\"nope\"}\r\n"
                 "{\"id\":3,\"method\":\"ping\"}");
  EXPECT_EQ(status, 0);
  EXPECT_EQ(written, "{\"jsonrpc\":\"2.0\",\"id\":1,\"result\":{}}\n"
                     "{\"jsonrpc\":\"2.0\",\"id\":2,\"error\":{\"code\":-32601,"
                     "\"message\":\"Unbekannte Methode: nope\"}}\n"
                     "{\"jsonrpc\":\"2.0\",\"id\":3,\"result\":{}}\n");
}

TEST(KanbanMCPServerLoop, OtherOutputFailuresEndWithTheirOwnStatus) {
  FILE *in = std::tmpfile();
  const std::string request = "{\"id\":1,\"method\":\"ping\"}\n";
  std::fwrite(request.data(), 1, request.size(), in);
  std::fflush(in);
  std::rewind(in);
  FILE *readOnly = std::fopen("/dev/null", "r");
  ASSERT_NE(readOnly, nullptr);
  EXPECT_EQ(Server::serve(fileno(in), fileno(readOnly), fakeTool),
            Server::kOutputFailed);
  std::fclose(readOnly);
  std::fclose(in);
}

} // namespace
} // namespace taskory
