#include "Http/HttpServer.h"

#include "Http/HttpAccess.h"
#include "Http/Options.h"
#include "Http/StopSignals.h"
#include "Http/StorePool.h"
#include "Http/Transport.h"
#include "KanbanCore/KanbanStore.h"
#include "Server/KanbanMCPServer.h"
#include "Server/StartUp.h"

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstring>
#include <exception>
#include <fcntl.h>
#include <filesystem>
#include <optional>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>

namespace taskory::HttpServer {
namespace {

namespace fs = std::filesystem;

std::string urlHost(const std::string &host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

// The token every request must carry, and the file it is kept in; nothing
// (after logging why) when neither can be had.
std::optional<std::pair<std::string, fs::path>> loadToken() {
  const auto directory = KanbanStore::groupContainer();
  if (!directory) {
    KanbanMCPServer::log("Kein Gruppen-Container für die Token-Datei: "
                         "weder XDG_DATA_HOME noch HOME ist bekannt.");
    return std::nullopt;
  }
  fs::path file = *directory / "http-token";
  try {
    std::string token = HttpAccess::loadOrCreateToken(file);
    return std::pair(std::move(token), std::move(file));
  } catch (const std::exception &error) {
    KanbanMCPServer::log(error.what());
    return std::nullopt;
  }
}

// Serves on the bound transport until a stop signal arrives, then lets the
// requests in flight finish. False when listening failed instead.
bool serveUntilStopped(Transport &transport, const StopSignals &signals) {
  // The listener ends on its own only when listening fails; it then raises
  // a stop signal itself, so the wait below ends either way.
  std::atomic<bool> failed{false};
  std::thread listener([&transport, &failed] {
    transport.listen_after_bind();
    if (!transport.stopRequested()) {
      failed = true;
      StopSignals::raise();
    }
  });
  signals.wait();
  transport.beginStopping();
  // Closes the listening socket (once the listener has started to use it);
  // the listener then waits for its workers, which finish the requests in
  // flight.
  while (!failed && !transport.is_running())
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  transport.stop();
  listener.join();
  return !failed;
}

} // namespace

int main(const std::vector<std::string_view> &arguments) {
  auto parsed = parseOptions(arguments);
  if (const auto *problem = std::get_if<std::string>(&parsed)) {
    KanbanMCPServer::log(*problem);
    KanbanMCPServer::log(kUsage);
    return 2;
  }
  const Options options = std::get<Options>(std::move(parsed));
  // The listening socket or the token file must not take a closed standard
  // descriptor's number: a message meant for standard error could land in it.
  StartUp::occupyClosedStandardDescriptors();
  std::signal(SIGPIPE, SIG_IGN);
  const StopSignals stopSignals;

  auto container = StartUp::openStore();
  if (!container)
    return 1;
  std::string token;
  std::optional<fs::path> tokenFile;
  if (!options.noAuth) {
    auto loaded = loadToken();
    if (!loaded)
      return 1;
    token = std::move(loaded->first);
    tokenFile = std::move(loaded->second);
  }

  StorePool pool(KanbanStore::storeURL(), std::move(container),
                 Transport::kWorkers);
  Transport transport(options, token, pool);
  int port = options.port;
  const bool bound = port == 0
                         ? (port = transport.bind_to_any_port(options.host)) > 0
                         : transport.bind_to_port(options.host, port);
  if (!bound) {
    KanbanMCPServer::log(
        "HTTP: " + urlHost(options.host) + ":" + std::to_string(options.port) +
        " kann nicht geöffnet werden: " + std::strerror(errno));
    return 1;
  }
  transport.widenBacklog();
  KanbanMCPServer::log("MCP über HTTP: http://" + urlHost(options.host) + ":" +
                       std::to_string(port) + "/mcp");
  const std::string origin =
      "http://" + urlHost(options.host) + ":" + std::to_string(port) + "/";
  KanbanMCPServer::log("Board im Browser: " + origin +
                       (options.noAuth ? std::string() : "?token=" + token));
  if (tokenFile)
    KanbanMCPServer::log("Token (Header „Authorization: Bearer <Token>“): " +
                         tokenFile->string());
  else
    KanbanMCPServer::log("Ohne Token (--no-auth): nur für lokale "
                         "Testwerkzeuge auf einem Rechner mit einem Benutzer.");

  if (serveUntilStopped(transport, stopSignals))
    return 0;
  KanbanMCPServer::log("HTTP: Verbindungen können nicht mehr angenommen "
                       "werden.");
  return 1;
}

} // namespace taskory::HttpServer
