#include "Http/Service.h"

#include "Http/BoardEdits.h"
#include "Http/BoardPage.h"
#include "Http/Refusal.h"
#include "Http/TokenFile.h"
#include "Protocol/JsonRpcReader.h"

#include <exception>
#include <new>
#include <utility>
#if defined(__GLIBC__)
#include <malloc.h>
#endif

namespace taskory::HttpServer {
namespace {

// A request body above this size leaves enough freed memory behind (the
// body, and the parsed message, often many times larger) to be worth
// handing back to the system at once.
constexpr std::size_t kTrimAfterBytes = std::size_t(1) << 20;

void releaseFreedMemory() {
#if defined(__GLIBC__)
  ::malloc_trim(0);
#endif
}

} // namespace

Service::Service(const Options &options, TokenFile *tokenFile,
                 StorePool &pool, int port)
    : tokenFile_(tokenFile), screen_(options), endpoint_(pool),
      board_(pool, port, options.noAuth) {}

Service::Admission Service::admit(const HttpRequest &head) {
  Admission admission;
  if (tokenFile_)
    admission.secrets = tokenFile_->current();
  admission.refusal = screen_.refusal(head, admission.secrets.get());
  return admission;
}

HttpResponse Service::guarded(const std::function<HttpResponse()> &respond) {
  try {
    return respond();
  } catch (const std::bad_alloc &) {
    // One request too large for the memory there is must not end the
    // process and every other client's session with it.
    return refusal(503, kInternalError,
                   "Nicht genug Speicher für diese Anfrage");
  } catch (...) {
    return refusal(500, kInternalError, "Interner Fehler");
  }
}

HttpResponse
Service::pageGuarded(const std::function<HttpResponse()> &respond) {
  // A page address answers with a page, whatever went wrong.
  HttpResponse failed = guarded(respond);
  if (failed.header("Content-Type") != "application/json" || failed.status < 500)
    return failed;
  HttpResponse page;
  page.status = failed.status;
  page.set("Cache-Control", "no-store");
  page.setContent(BoardPage::unavailablePage(failed.status == 503
                                                 ? "Nicht genug Speicher für "
                                                   "diese Anfrage."
                                                 : "Interner Fehler."),
                  "text/html; charset=utf-8");
  return page;
}

void Service::handle(HttpRequest request, std::shared_ptr<const Secrets> secrets,
                     std::function<void(HttpResponse)> reply) {
  begin();
  readers_.post([this, request = std::move(request),
                 secrets = std::move(secrets),
                 reply = std::move(reply)]() mutable {
    const bool large = request.body.size() > kTrimAfterBytes;
    if (BoardEdits::isChangePath(request.path)) {
      // A person's change waits in the writers' line like any tool call.
      begin();
      writer_.post([this, request = std::move(request), secrets,
                    reply = std::move(reply)]() mutable {
        reply(pageGuarded([&] { return board_.serve(request, secrets.get()); }));
        end();
      });
    } else if (isBoardRequest(request)) {
      reply(pageGuarded([&] { return board_.serve(request, secrets.get()); }));
    } else {
      std::optional<McpEndpoint::Message> message;
      HttpResponse failed = guarded([&] {
        message = McpEndpoint::read(request.body);
        return HttpResponse();
      });
      request.body = std::string();
      if (!message) {
        reply(std::move(failed));
      } else if (message->writes) {
        begin();
        writer_.post([this, large, message = std::move(*message),
                      reply = std::move(reply)]() mutable {
          const Protocol::Releasing releasing(message.message.request.params);
          reply(guarded([&] { return endpoint_.answer(message); }));
          if (large)
            releaseFreedMemory();
          end();
        });
      } else {
        const Protocol::Releasing releasing(message->message.request.params);
        reply(guarded([&] { return endpoint_.answer(*message); }));
      }
    }
    if (large)
      releaseFreedMemory();
    end();
  });
}

void Service::begin() {
  std::lock_guard lock(mutex_);
  ++inFlight_;
}

void Service::end() {
  {
    std::lock_guard lock(mutex_);
    --inFlight_;
  }
  idle_.notify_all();
}

bool Service::finish(std::chrono::milliseconds patience) {
  std::unique_lock lock(mutex_);
  return idle_.wait_for(lock, patience, [this] { return inFlight_ == 0; });
}

} // namespace taskory::HttpServer
