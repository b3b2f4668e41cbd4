#include "Http/Refusal.h"

#include "Server/KanbanMCPServer.h"

namespace taskory::HttpServer {

void refuse(httplib::Response &response, int status, int code,
            std::string_view message) {
  response.status = status;
  response.set_header("Connection", "close");
  response.set_content(KanbanMCPServer::respondError("null", code, message),
                       "application/json");
}

} // namespace taskory::HttpServer
