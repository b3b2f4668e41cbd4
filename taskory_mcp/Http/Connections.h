#pragma once

#include "Http/Message.h"

#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>

#include <cstddef>
#include <list>
#include <memory>
#include <optional>

// The connections of the HTTP host, all on its one event-loop thread: a
// connection waiting for a request holds a socket and a few buffers, never a
// thread, so a client that sends slowly or not at all costs the others
// nothing but its share of the connection limit. Private to the host.
namespace taskory::HttpServer {

class Service;
struct Secrets;

class Connection;

// The open connections, least recently active first, and what they share.
// Touched from the host's thread only.
struct Connections {
  explicit Connections(Service &service) : service(service) {}

  Service &service;
  std::list<Connection *> byActivity;
  bool stopping = false;

  // Closes the least recently active connection that is waiting for a
  // request; false when every one is busy with a request.
  bool closeLeastRecentlyActiveIdle();
  // Asks every connection to end: waiting ones now, busy ones after their
  // answer.
  void stopAll();
};

class Connection : public std::enable_shared_from_this<Connection> {
public:
  Connection(boost::asio::ip::tcp::socket socket, Connections &connections);
  ~Connection();
  Connection(const Connection &) = delete;
  Connection &operator=(const Connection &) = delete;

  void start() { readHead(); }
  // Waiting for (the rest of) a request's head: nothing is lost by ending it.
  bool idle() const { return phase_ == Phase::waiting; }
  // Ends the connection now; what is in flight on it is dropped.
  void close();
  // Ends it now if idle, else after the answer being prepared.
  void stop();

private:
  enum class Phase { waiting, reading, executing, writing, lingering, closed };
  using Parser =
      boost::beast::http::request_parser<boost::beast::http::string_body>;

  void touch();
  void readHead();
  void onHead(boost::beast::error_code error);
  void continueAndReadBody();
  void readBody();
  void onBody(boost::beast::error_code error);
  void execute();
  void refuse(HttpResponse response);
  void write(HttpResponse response);
  void onWritten(boost::beast::error_code error, bool close);
  // After a refusal whose request was not read to its end: the sending side
  // is shut and what still arrives is dropped for a moment, since closing
  // with unread data would reset the connection and could destroy the
  // refusal before the client reads it.
  void linger();

  Connections &connections_;
  std::list<Connection *>::iterator position_;
  boost::beast::tcp_stream stream_;
  boost::beast::flat_buffer buffer_;
  std::optional<Parser> parser_;
  boost::beast::http::response<boost::beast::http::string_body> response_;
  HttpRequest request_; // the head, then the body too
  std::shared_ptr<const Secrets> secrets_;
  bool keepAlive_ = true;
  Phase phase_ = Phase::waiting;
  std::size_t lingered_ = 0;
};

} // namespace taskory::HttpServer
