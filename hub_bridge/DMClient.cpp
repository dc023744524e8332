#include "hub_bridge/DMClient.h"

#include "hub_bridge/BridgeServer.h"
#include "libhub/util/Print.h"

DMClient::DMClient(int port)
    : reader_([this](char* buffer, size_t size) { return Read(buffer, size); }, kMaxMessage) {
  BridgePrint("\nPort was set to %d\n", port);
  platform::ConnectError error = platform::ConnectError::kNone;
  link_ = platform::TcpConnection::Connect("127.0.0.1", port, -1, &error);
  if (error == platform::ConnectError::kSocket) {
    BridgePrint("Nastala chyba. Nie je mozne vytvorit soket!");
    EndBridge(1);
  }
  if (!link_.IsOpen()) {
    BridgePrint("Nenadviazane spojenie!!!");
    EndBridge(1);
  }
}

void DMClient::Send(const std::string& text) {
  if (!link_.SendAll(text.c_str(), text.size() + 1)) {
    BridgePrint("Pri posielani dat nastala chyba!");
    EndBridge(0);
  }
}

bool DMClient::Receive(std::string* message) {
  while (reader_.Next(message) == platform::MessageReader::Result::kMessage) {
    if (reader_.LastLength() <= kMaxMessage) return true;
    BridgePrint("WARNING: a message of %zu bytes from the dialog manager is longer than %zu "
                "bytes; it is dropped\n",
                reader_.LastLength(), kMaxMessage);
  }
  return false;
}

void DMClient::SetReceiveTimeout(int milliseconds) { receiveTimeoutMs_ = milliseconds; }

void DMClient::SetSendTimeout(int milliseconds) { link_.SetSendTimeout(milliseconds); }

// The console is complete before the bridge waits for the dialog manager.
long DMClient::Read(char* buffer, size_t size) {
  HubUtil_PrintFlush();
  if (receiveTimeoutMs_ >= 0 && !link_.WaitReadable(receiveTimeoutMs_)) return -1;
  return link_.Read(buffer, size);
}
