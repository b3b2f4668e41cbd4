#include "Server/HttpServer.h"

#include <string_view>
#include <vector>

int main(int argc, char **argv) {
  return taskory::HttpServer::main(
      std::vector<std::string_view>(argv + 1, argv + argc));
}
