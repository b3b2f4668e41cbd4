#include "Http/Refusal.h"

#include "Protocol/Answer.h"

namespace taskory::HttpServer {

HttpResponse refusal(int status, int code, std::string_view message) {
  HttpResponse response;
  response.status = status;
  response.close = true;
  response.setContent(Protocol::respondError("null", code, message),
                      "application/json");
  return response;
}

} // namespace taskory::HttpServer
