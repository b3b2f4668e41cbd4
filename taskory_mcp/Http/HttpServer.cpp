#include "Http/HttpServer.h"

#include "Http/Host.h"
#include "Http/Options.h"
#include "Http/Service.h"
#include "Http/StopSignals.h"
#include "Http/StorePool.h"
#include "Http/TokenFile.h"
#include "KanbanCore/KanbanStore.h"
#include "Server/KanbanMCPServer.h"
#include "Server/StartUp.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <utility>
#include <variant>

namespace taskory::HttpServer {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;

// What a stop leaves the service's threads after the host has closed every
// connection, so that the whole stop stays within 5 s.
constexpr auto kServiceGrace = 700ms;

std::string urlHost(const std::string &host) {
  return host.find(':') == std::string::npos ? host : "[" + host + "]";
}

// A server that anyone on the network may reach by its token must not serve
// a store or a token that another user put in its way (a world-writable
// XDG_DATA_HOME, say): the data folder and the store, where they exist,
// must be the user's own, as the token file must be. Logs and returns false
// otherwise.
bool ownsDataFiles() {
  const auto folder = KanbanStore::groupContainer();
  std::optional<fs::path> paths[] = {folder, KanbanStore::storeURL()};
  for (const auto &path : paths) {
    struct stat info {};
    if (!path || ::stat(path->c_str(), &info) != 0)
      continue;
    if (info.st_uid != ::geteuid()) {
      KanbanMCPServer::log("„" + path->string() +
                           "“ gehört einem anderen Benutzer; der HTTP-Modus "
                           "dient nur Daten, die dem eigenen Benutzer gehören.");
      return false;
    }
  }
  return true;
}

// The token file, read or created; nothing (after logging why) when it
// cannot be had.
std::unique_ptr<TokenFile> openTokenFile() {
  const auto directory = KanbanStore::groupContainer();
  if (!directory) {
    KanbanMCPServer::log("Kein Gruppen-Container für die Token-Datei: "
                         "weder XDG_DATA_HOME noch HOME ist bekannt.");
    return nullptr;
  }
  try {
    return std::make_unique<TokenFile>(*directory / "http-token");
  } catch (const std::exception &error) {
    KanbanMCPServer::log(error.what());
    return nullptr;
  }
}

void announce(const Options &options, int port, TokenFile *tokenFile) {
  const std::string origin =
      "http://" + urlHost(options.host) + ":" + std::to_string(port);
  KanbanMCPServer::log("MCP über HTTP: " + origin + "/mcp");
  if (!tokenFile) {
    KanbanMCPServer::log("Board im Browser: " + origin + "/");
    KanbanMCPServer::log("Ohne Token (--no-auth): nur für lokale "
                         "Testwerkzeuge auf einem Rechner mit einem Benutzer.");
    return;
  }
  // The board's own key, never the token: this line ends up in terminals,
  // journals and browser histories.
  const auto secrets = tokenFile->current();
  KanbanMCPServer::log("Board im Browser: " + origin + "/?key=" +
                       (secrets ? secrets->boardKey : std::string()));
  KanbanMCPServer::log("Token (Header „Authorization: Bearer <Token>“): " +
                       tokenFile->file().string());
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

  if (!ownsDataFiles())
    return 1;
  auto container = StartUp::openStore();
  if (!container)
    return 1;
  std::unique_ptr<TokenFile> tokenFile;
  if (!options.noAuth && !(tokenFile = openTokenFile()))
    return 1;

  StorePool pool(KanbanStore::storeURL(), std::move(container),
                 Service::kStoreConnections);
  Host host;
  if (auto problem = host.bind(options.host, options.port)) {
    KanbanMCPServer::log("HTTP: " + urlHost(options.host) + ":" +
                         std::to_string(options.port) +
                         " kann nicht geöffnet werden: " + *problem);
    return 1;
  }
  Service service(options, tokenFile.get(), pool, host.port());
  announce(options, host.port(), tokenFile.get());

  std::thread stopper([&stopSignals, &host] {
    stopSignals.wait();
    host.stop();
  });
  host.run(service);
  stopper.join();
  if (!service.finish(kServiceGrace)) {
    // A request still at work past the grace: its transaction is rolled
    // back as after a crash, which the store is made for.
    KanbanMCPServer::log("HTTP: beendet, während noch eine Anfrage lief.");
    std::_Exit(0);
  }
  return 0;
}

} // namespace taskory::HttpServer
