#include "Server/HttpLauncher.h"
#include "Server/KanbanMCPServer.h"

int main(int argc, char **argv) {
  if (taskory::HttpLauncher::requested(argc, argv))
    return taskory::HttpLauncher::run(argv);
  return taskory::KanbanMCPServer::main();
}
