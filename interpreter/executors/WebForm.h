// The form client of <submit>: name-value pairs sent to an HTTP server as one
// GET request (agent "WebForm 1"), and the body of its reply read back.
//
// Calling order: construct; SetHost and SetScriptFile; PutVariable for each
// pair; SendRequest; GetResponse. The URL is the host, the script file, "?",
// then UrlEncode(name) + "=" + UrlEncode(value) for each pair in order,
// joined by "&". The host carries the scheme: "http://host[:port]" and any
// folders (the default is the local machine at port 8080). Every failure is
// thrown as openutils::WebFormException with one of the texts below.
#pragma once
#include <cstddef>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/HttpClient.h"

namespace openutils {

// The failure of a form client operation; what() is its message.
class WebFormException : public std::runtime_error {
 public:
  explicit WebFormException(const std::string& message) : std::runtime_error(message) {}
};

}  // namespace openutils

// Whether UrlEncode passes the byte unchanged: ASCII letters and digits, and
// the 14 lower-case Windows-1250 letters a-acute, c-caron, d-caron, e-acute,
// i-acute, l-caron, n-caron, o-acute, o-circumflex, s-caron, t-caron,
// u-acute, y-acute and z-caron.
bool IsUrlLetter(unsigned char byte);
// The text with every byte that IsUrlLetter refuses encoded: a blank as "+",
// any other as "%" and two lower-case hexadecimal digits.
std::string UrlEncode(const std::string& text);

class WebForm {
 public:
  static const char kDefaultHost[];  // "http://127.0.0.1:8080"
  static constexpr char kAgent[] = "WebForm 1";

  explicit WebForm(platform::HttpTimeouts timeouts = {});

  // Appends the pair; throws "Duplicate variable name - " + name when the
  // name is there already (compared case-insensitively).
  void PutVariable(const std::string& name, const std::string& value);
  bool IsVariableExistent(const std::string& name) const;
  void SetHost(const std::string& host) { host_ = host; }
  void SetScriptFile(const std::string& scriptFile) { scriptFile_ = scriptFile; }
  std::string GetHost() const { return host_; }
  std::string GetScriptFile() const { return scriptFile_; }

  // Opens the URL: throws "Error:- InternetOpen()" when no socket can be
  // made, "Error:- InternetOpenUrl()" when the URL is not an http URL or the
  // server cannot be reached.
  void SendRequest();
  // Reads the whole reply; its body goes to *reply. Throws "No request made
  // to server !" before a successful SendRequest and "Buffer overflow !" for
  // a body longer than size; false (and *reply untouched) when the read
  // fails or times out.
  bool GetResponse(std::string* reply, std::size_t size);

 private:
  std::string Url() const;

  std::vector<std::string> names_;
  std::vector<std::string> values_;
  std::string host_ = kDefaultHost;
  std::string scriptFile_;
  platform::HttpTimeouts timeouts_;
  std::unique_ptr<platform::HttpGet> request_;  // set once a request was sent
};
