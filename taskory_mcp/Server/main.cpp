#include "Server/HttpServer.h"
#include "Server/KanbanMCPServer.h"

#include <algorithm>
#include <string_view>
#include <vector>

int main(int argc, char **argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  if (std::find(arguments.begin(), arguments.end(), "--http") !=
      arguments.end())
    return taskory::HttpServer::main(arguments);
  return taskory::KanbanMCPServer::main();
}
