#include "platform/HttpClient.h"

#include <algorithm>
#include <chrono>

namespace platform {
namespace {

const char kScheme[] = "http://";
const char kBlankLine[] = "\r\n\r\n";  // ends the header

struct Url {
  std::string host;
  int port = 80;
  std::string authority;  // host[:port] as written, for the Host header
  std::string target;     // path and query
};

bool IsPrintable(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) <= ' ' || c == 0x7f) return false;
  }
  return true;
}

bool ParseUrl(const std::string& text, Url* url) {
  const std::size_t schemeLength = sizeof kScheme - 1;
  if (text.compare(0, schemeLength, kScheme) != 0 || !IsPrintable(text)) return false;
  const std::size_t end = text.find_first_of("/?", schemeLength);
  url->authority = text.substr(schemeLength, end - schemeLength);
  url->target = end == std::string::npos ? "/" : text.substr(end);
  if (url->target[0] == '?') url->target.insert(0, "/");
  const std::size_t colon = url->authority.find(':');
  url->host = url->authority.substr(0, colon);
  if (colon != std::string::npos) {
    url->port = ParsePort(url->authority.substr(colon + 1));
    if (url->port == 0) return false;
  }
  return !url->host.empty();
}

}  // namespace

HttpGet::OpenResult HttpGet::Open(const std::string& urlText, const std::string& agent) {
  Url url;
  if (!ParseUrl(urlText, &url)) return OpenResult::kNotReached;
  ConnectError error = ConnectError::kNone;
  connection_ = TcpConnection::Connect(url.host, url.port, timeouts_.connectMs, &error);
  if (error == ConnectError::kSocket) return OpenResult::kNoSocket;
  if (!connection_.IsOpen()) return OpenResult::kNotReached;
  const std::string request = "GET " + url.target + " HTTP/1.0\r\nUser-Agent: " + agent +
                              "\r\nHost: " + url.authority + "\r\n\r\n";
  if (!connection_.SendAll(request.data(), request.size())) return OpenResult::kNotReached;
  return OpenResult::kOpened;
}

HttpGet::ReadResult HttpGet::ReadBody(std::size_t maxBody, std::string* body) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeouts_.readMs);
  std::string reply;
  std::size_t bodyStart = std::string::npos;
  char buffer[4096];
  while (true) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0 || !connection_.WaitReadable(static_cast<int>(left))) return ReadResult::kFailed;
    const long count = connection_.Read(buffer, sizeof buffer);
    if (count < 0) return ReadResult::kFailed;
    if (count == 0) break;
    // The blank line may straddle the pieces: look again from 3 bytes back.
    const std::size_t searchFrom = reply.size() < 3 ? 0 : reply.size() - 3;
    reply.append(buffer, static_cast<std::size_t>(count));
    if (bodyStart == std::string::npos) {
      const std::size_t blank = reply.find(kBlankLine, searchFrom);
      if (blank != std::string::npos) bodyStart = blank + sizeof kBlankLine - 1;
      // The same cap however the reply is cut into reads.
      if (std::min(bodyStart, reply.size()) > kMaxHeader) return ReadResult::kFailed;
    }
    if (bodyStart != std::string::npos && reply.size() - bodyStart > maxBody) {
      return ReadResult::kTooLong;
    }
  }
  if (bodyStart == std::string::npos) return ReadResult::kFailed;
  *body = reply.substr(bodyStart);
  return ReadResult::kRead;
}

}  // namespace platform
