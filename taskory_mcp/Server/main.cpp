#include "Server/KanbanMCPServer.h"

int main() { return taskory::KanbanMCPServer::main(); }
