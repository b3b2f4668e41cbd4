#include "Http/Connections.h"

#include "Http/BodyLimit.h"
#include "Http/Refusal.h"
#include "Http/Service.h"

#include <boost/asio/post.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/error.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include <array>
#include <chrono>
#include <cstdint>
#include <limits>
#include <utility>

namespace taskory::HttpServer {
namespace {

namespace beast = boost::beast;
namespace http = beast::http;
namespace net = boost::asio;
using namespace std::chrono_literals;

// The whole head of a request must arrive within this time of the
// connection's opening or of the previous answer: a keep-alive connection
// waits no longer for its next request, and a client that sends its head a
// byte at a time is closed as soon as it has used it up.
constexpr auto kHeadTime = 5s;
// The body and the answer, each as a whole.
constexpr auto kBodyTime = 60s;
constexpr auto kAnswerTime = 60s;
constexpr auto kLingerTime = 1s;
constexpr std::size_t kLingerBytes = std::size_t(1) << 20;
// A head holds the request line and a few headers: far below these.
constexpr std::uint32_t kMaxHeadBytes = 16 * 1024;
constexpr std::size_t kMaxHeaderFields = 100;
// What a connection's read buffer may keep between requests.
constexpr std::size_t kKeptBuffer = 64 * 1024;

bool isParseError(const beast::error_code &error) {
  return error.category() ==
             http::make_error_code(http::error::bad_target).category() &&
         error != http::error::end_of_stream &&
         error != http::error::partial_message;
}

} // namespace

bool Connections::closeLeastRecentlyActiveIdle() {
  for (Connection *connection : byActivity)
    if (connection->idle()) {
      connection->close();
      return true;
    }
  return false;
}

void Connections::stopAll() {
  stopping = true;
  // stop() may take a connection off the list.
  const std::list<Connection *> all = byActivity;
  for (Connection *connection : all)
    connection->stop();
}

Connection::Connection(net::ip::tcp::socket socket, Connections &connections)
    : connections_(connections),
      position_(connections.byActivity.insert(connections.byActivity.end(),
                                              this)),
      stream_(std::move(socket)) {
  // An answer leaves in two writes (head, body); without this the second
  // would wait for the client's delayed acknowledgement of the first.
  beast::error_code ignored;
  stream_.socket().set_option(net::ip::tcp::no_delay(true), ignored);
}

Connection::~Connection() {
  if (phase_ != Phase::closed)
    connections_.byActivity.erase(position_);
}

void Connection::touch() {
  connections_.byActivity.splice(connections_.byActivity.end(),
                                 connections_.byActivity, position_);
}

void Connection::close() {
  if (phase_ == Phase::closed)
    return;
  phase_ = Phase::closed;
  connections_.byActivity.erase(position_);
  beast::error_code ignored;
  stream_.socket().shutdown(net::ip::tcp::socket::shutdown_both, ignored);
  // Ends the pending operation, whose handler then lets this go.
  stream_.close();
}

void Connection::stop() {
  if (phase_ == Phase::waiting || phase_ == Phase::lingering)
    close();
}

void Connection::readHead() {
  if (connections_.stopping)
    return close();
  phase_ = Phase::waiting;
  touch();
  request_ = HttpRequest();
  secrets_.reset();
  parser_.emplace();
  parser_->header_limit(kMaxHeadBytes);
  // The body's limit is set once the head has passed the screen, so that a
  // caller without the token learns nothing of the endpoint's limits.
  // (No limit at all reads as Boost's default in older releases.)
  parser_->body_limit(std::numeric_limits<std::uint64_t>::max());
  if (buffer_.capacity() > kKeptBuffer)
    buffer_.shrink_to_fit();
  stream_.expires_after(kHeadTime);
  http::async_read_header(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->onHead(error);
      });
}

void Connection::onHead(beast::error_code error) {
  if (phase_ == Phase::closed)
    return;
  if (error == http::error::header_limit)
    return refuse(refusal(431, kTransportError, "Anfragekopf zu groß"));
  if (isParseError(error))
    return refuse(refusal(400, kInvalidRequest, "Ungültige Anfrage"));
  if (error)
    return close(); // closed, gone silent or timed out: nobody to answer
  phase_ = Phase::reading;
  touch();
  const auto &message = parser_->get();
  request_.method = std::string(message.method_string());
  const beast::string_view target = message.target();
  const std::size_t question = target.find('?');
  request_.path = std::string(target.substr(0, question));
  if (question != beast::string_view::npos)
    request_.query = std::string(target.substr(question + 1));
  for (const auto &field : message) {
    if (request_.headers.size() == kMaxHeaderFields)
      return refuse(refusal(431, kTransportError, "Anfragekopf zu groß"));
    request_.headers.emplace_back(std::string(field.name_string()),
                                  std::string(field.value()));
  }
  keepAlive_ = message.keep_alive();
  Service::Admission admission = connections_.service.admit(request_);
  if (admission.refusal)
    return refuse(std::move(*admission.refusal));
  secrets_ = std::move(admission.secrets);
  if (parser_->is_done())
    return execute();
  parser_->body_limit(std::uint64_t(kMaxBodyBytes));
  if (beast::iequals(message[http::field::expect], "100-continue"))
    return continueAndReadBody();
  readBody();
}

void Connection::continueAndReadBody() {
  // A client that waits for this sends its body only once the head has
  // passed the screen, so a refusal costs it no upload.
  auto interim = std::make_shared<http::response<http::empty_body>>(
      http::status::continue_, 11);
  stream_.expires_after(kBodyTime);
  http::async_write(stream_, *interim,
                    [self = shared_from_this(),
                     interim](beast::error_code error, std::size_t) {
                      if (self->phase_ == Phase::closed)
                        return;
                      if (error)
                        return self->close();
                      self->readBody();
                    });
}

void Connection::readBody() {
  stream_.expires_after(kBodyTime);
  http::async_read(
      stream_, buffer_, *parser_,
      [self = shared_from_this()](beast::error_code error, std::size_t) {
        self->onBody(error);
      });
}

void Connection::onBody(beast::error_code error) {
  if (phase_ == Phase::closed)
    return;
  if (error == http::error::body_limit)
    return refuse(refusal(413, kTransportError, tooLargeMessage()));
  if (error == http::error::partial_message)
    return close(); // the client gave up on its own request
  if (isParseError(error))
    return refuse(refusal(400, kInvalidRequest, "Ungültige Anfrage"));
  if (error)
    return close();
  request_.body = std::move(parser_->get().body());
  execute();
}

void Connection::execute() {
  phase_ = Phase::executing;
  parser_.reset();
  // The answer takes what it takes; the client waits for it.
  stream_.expires_never();
  auto executor = stream_.get_executor();
  connections_.service.handle(
      std::move(request_), std::move(secrets_),
      [self = shared_from_this(), executor](HttpResponse response) {
        try {
          net::post(executor, [self, response = std::move(response)]() mutable {
            self->write(std::move(response));
          });
        } catch (...) {
          // Out of memory even for the hand-over: the client's connection
          // ends when the last reference to it does.
        }
      });
}

void Connection::refuse(HttpResponse response) {
  response.close = true;
  write(std::move(response));
}

void Connection::write(HttpResponse answer) {
  if (phase_ == Phase::closed)
    return;
  const bool bodyUnread = parser_ && !parser_->is_done();
  const bool isHead = request_.method == "HEAD" && !bodyUnread;
  const bool close = answer.close || !keepAlive_ || connections_.stopping;
  phase_ = Phase::writing;
  response_ = {};
  response_.version(11);
  response_.result(static_cast<unsigned>(answer.status));
  for (auto &[name, value] : answer.headers)
    response_.set(name, value);
  const std::size_t length = answer.body.size();
  if (!isHead)
    response_.body() = std::move(answer.body);
  response_.content_length(length);
  response_.keep_alive(!close);
  stream_.expires_after(kAnswerTime);
  http::async_write(stream_, response_,
                    [self = shared_from_this(), close,
                     bodyUnread](beast::error_code error, std::size_t) {
                      if (self->phase_ == Phase::closed)
                        return;
                      self->response_ = {};
                      if (error)
                        return self->close();
                      if (bodyUnread)
                        return self->linger();
                      if (close)
                        return self->close();
                      self->readHead();
                    });
}

void Connection::linger() {
  if (phase_ != Phase::lingering) {
    phase_ = Phase::lingering;
    beast::error_code ignored;
    stream_.socket().shutdown(net::ip::tcp::socket::shutdown_send, ignored);
    stream_.expires_after(kLingerTime);
    if (connections_.stopping)
      return close();
  }
  auto sink = std::make_shared<std::array<char, 4096>>();
  stream_.async_read_some(
      net::buffer(*sink), [self = shared_from_this(),
                           sink](beast::error_code error, std::size_t read) {
        if (self->phase_ == Phase::closed)
          return;
        self->lingered_ += read;
        if (error || self->lingered_ > kLingerBytes)
          return self->close();
        self->linger();
      });
}

} // namespace taskory::HttpServer
