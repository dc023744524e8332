#include "interpreter/executors/WebForm.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

using openutils::WebFormException;

const char WebForm::kDefaultHost[] = "http://127.0.0.1:8080";

namespace {

// The lower-case Windows-1250 letters that go into a URL as raw bytes:
// a-acute, c-caron, d-caron, e-acute, i-acute, l-caron, n-caron, o-acute,
// o-circumflex, s-caron, t-caron, u-acute, y-acute, z-caron.
const unsigned char kUrlLetters[] = {0xE1, 0xE8, 0xEF, 0xE9, 0xED, 0xBE, 0xF2,
                                     0xF3, 0xF4, 0x9A, 0x9D, 0xFA, 0xFD, 0x9E};

bool EqualIgnoringCase(const std::string& a, const std::string& b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

}  // namespace

bool IsUrlLetter(unsigned char byte) {
  if (byte >= 'A' && byte <= 'Z') byte = static_cast<unsigned char>(byte - 'A' + 'a');
  if ((byte >= 'a' && byte <= 'z') || (byte >= '0' && byte <= '9')) return true;
  return std::find(std::begin(kUrlLetters), std::end(kUrlLetters), byte) != std::end(kUrlLetters);
}

std::string UrlEncode(const std::string& text) {
  std::string encoded;
  for (char c : text) {
    const unsigned char byte = static_cast<unsigned char>(c);
    if (IsUrlLetter(byte)) {
      encoded += c;
    } else if (byte == ' ') {
      encoded += '+';
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02x", byte);
      encoded += escape;
    }
  }
  return encoded;
}

WebForm::WebForm(platform::HttpTimeouts timeouts) : timeouts_(timeouts) {}

void WebForm::PutVariable(const std::string& name, const std::string& value) {
  if (IsVariableExistent(name)) throw WebFormException("Duplicate variable name - " + name);
  names_.push_back(name);
  values_.push_back(value);
}

bool WebForm::IsVariableExistent(const std::string& name) const {
  return std::any_of(names_.begin(), names_.end(),
                     [&name](const std::string& known) { return EqualIgnoringCase(known, name); });
}

std::string WebForm::Url() const {
  std::string url = host_ + scriptFile_ + "?";
  for (std::size_t i = 0; i < names_.size(); ++i) {
    if (i > 0) url += "&";
    url += UrlEncode(names_[i]) + "=" + UrlEncode(values_[i]);
  }
  return url;
}

void WebForm::SendRequest() {
  auto request = std::make_unique<platform::HttpGet>(timeouts_);
  switch (request->Open(Url(), kAgent)) {
    case platform::HttpGet::OpenResult::kNoSocket:
      throw WebFormException("Error:- InternetOpen()");
    case platform::HttpGet::OpenResult::kNotReached:
      throw WebFormException("Error:- InternetOpenUrl()");
    case platform::HttpGet::OpenResult::kOpened:
      break;
  }
  request_ = std::move(request);
}

bool WebForm::GetResponse(std::string* reply, std::size_t size) {
  if (!request_) throw WebFormException("No request made to server !");
  const platform::HttpGet::ReadResult result = request_->ReadBody(size, reply);
  if (result == platform::HttpGet::ReadResult::kTooLong) {
    throw WebFormException("Buffer overflow !");
  }
  return result == platform::HttpGet::ReadResult::kRead;
}
