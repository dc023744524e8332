#include "interpreter/server/PeerSocket.h"

#include <iostream>
#include <string>

#include "interpreter/common/FatalExit.h"

namespace {

const char kSocketLog[] = "Quorvane/socket_log.txt";

// Link failures report on standard error; a running dialogue is stopped
// first, then the process exits with status 0.
[[noreturn]] void LinkFailure(const char* message) {
  quorvane::FatalExit(message, 0, quorvane::FatalStream::kStderr);
}

}  // namespace

void PrintBanner() {
  std::cout << "\nDIALOG MANAGER Talmiro " << 2.15 << "\n"
            << "Quorvane developers\n"
            << "Spoken dialogue systems group\n"
            << "2026\n"
            << std::flush;
}

PeerSocket::PeerSocket()
    : reader_([this](char* buffer, std::size_t size) { return peer_.Read(buffer, size); },
              kMaxMessage),
      log_(kSocketLog) {
  WriteLog("Socket log file for Quorvane\n");
}

void PeerSocket::WriteLog(const std::string& text) { log_.Append(text); }

void PeerSocket::ListenAndAccept(int port, const std::function<void()>& whileListening) {
  switch (listener_.Listen(port)) {
    case platform::ListenError::kSocket: LinkFailure("Nelze vytvorit soket");
    case platform::ListenError::kBind: LinkFailure("Problem s pojmenovanim soketu.");
    case platform::ListenError::kListen: LinkFailure("Problem s vytvorenim fronty");
    case platform::ListenError::kNone: break;
  }
  if (whileListening) whileListening();
  std::string address;
  peer_ = listener_.Accept(&address);
  if (!peer_.IsOpen()) LinkFailure("Problem s prijetim spojeni");
  std::cout << "Pripojenie z adresy: " << address << std::endl;
  WriteLog("Open Connection OK\n");
}

bool PeerSocket::TrySend(const std::string& text) {
  std::string message = text.substr(0, text.find('\0'));
  if (!peer_.SendAll(message.c_str(), message.size() + 1)) return false;
  WriteLog("Send> " + message + "\n");
  return true;
}

void PeerSocket::Send(const std::string& text) {
  if (!TrySend(text)) LinkFailure("Problem s odeslanim dat");
}

std::string PeerSocket::Receive() {
  std::string message;
  switch (reader_.Next(&message)) {
    case platform::MessageReader::Result::kFailed: LinkFailure("Problem s prijetim dat.");
    case platform::MessageReader::Result::kClosed:
      closed_ = true;
      return kHangUpReply;
    case platform::MessageReader::Result::kMessage: break;
  }
  WriteLog("Receive> " + message + "\n");
  if (reader_.LastLength() > message.size()) {
    WriteLog("Received message of " + std::to_string(reader_.LastLength()) + " characters cut to " +
             std::to_string(kMaxMessage) + ", the most one message holds\n");
  }
  return message;
}
