#include "Http/HttpServer.h"
#include "Server/UserLocale.h"

#include <string_view>
#include <vector>

int main(int argc, char **argv) {
  // Before any ICU use, as in the stdio server: a host that starts this with a
  // bare environment still gets the user's weekday names and collation.
  taskory::UserLocale::apply();
  return taskory::HttpServer::main(
      std::vector<std::string_view>(argv + 1, argv + argc));
}
