// A small HTTP/1.0 GET client over TCP: one request per object, the reply
// read whole until the server closes the connection. Only URLs of the form
// "http://host[:port][/path][?query]" are taken (port 80 when none is given;
// the host a name or a dotted IPv4 address); the path and query go out as
// they stand, so a URL holding a blank or a control byte is refused.
#pragma once
#include <cstddef>
#include <string>

#include "platform/TcpSocket.h"

namespace platform {

struct HttpTimeouts {
  int connectMs = 10000;  // for the connection to be made
  int readMs = 30000;     // for the whole reply to arrive
};

class HttpGet {
 public:
  enum class OpenResult { kOpened, kNoSocket, kNotReached };
  enum class ReadResult { kRead, kFailed, kTooLong };

  explicit HttpGet(HttpTimeouts timeouts) : timeouts_(timeouts) {}

  // Connects and sends "GET <path> HTTP/1.0" ("/" when the URL has no path)
  // with the headers "User-Agent: <agent>" and "Host: <host[:port]>".
  // kNoSocket when no socket can be made; kNotReached for a URL of another
  // form, a name that does not resolve, a connection refused or not made in
  // time, or a request that cannot be sent.
  OpenResult Open(const std::string& url, const std::string& agent);
  // Reads the reply to its end, after a successful Open. kRead: *body holds
  // exactly the bytes after the header's blank line, whatever the status.
  // kTooLong as soon as the body passes maxBody bytes; kFailed when the
  // connection fails, the reply has no complete header of at most kMaxHeader
  // bytes (its blank line included, however the reply is cut into pieces) or
  // does not end within the read time-out. *body is changed only on kRead.
  ReadResult ReadBody(std::size_t maxBody, std::string* body);

  static constexpr std::size_t kMaxHeader = 65536;

 private:
  HttpTimeouts timeouts_;
  TcpConnection connection_;
};

}  // namespace platform
