// The bridge's one TCP connection to the dialog manager server on 127.0.0.1.
// Messages are texts ended by a NUL, one per NUL however the connection
// splits or joins them; sends go out whole, of any length.
#pragma once
#include <string>

#include "platform/MessageReader.h"
#include "platform/TcpSocket.h"

class DMClient {
 public:
  // The longest message taken from the dialog manager; a longer one is dropped.
  static constexpr size_t kMaxMessage = 1 << 20;

  // Prints "\nPort was set to %d\n" and connects at once. When no socket
  // can be made, prints "Nastala chyba. Nie je mozne vytvorit soket!", when
  // nothing listens "Nenadviazane spojenie!!!"; either ends the process with
  // status 1 (there is no retry: the dialog manager starts first).
  explicit DMClient(int port);
  DMClient(const DMClient&) = delete;
  DMClient& operator=(const DMClient&) = delete;

  // Sends the text and its NUL. A failed send prints "Pri posielani dat
  // nastala chyba!" and ends the process with status 0.
  void Send(const std::string& text);
  // The next message without its NUL: false when the dialog manager closed
  // the connection, the receive failed or the receive time-out passed. A
  // message longer than kMaxMessage is dropped, after a console line
  // "WARNING: a message of <n> bytes from the dialog manager is longer than
  // 1048576 bytes; it is dropped", and the one after it is taken.
  bool Receive(std::string* message);
  // Every later receive waits at most that long for data (negative: for ever).
  void SetReceiveTimeout(int milliseconds);
  // Every later send waits at most that long for the dialog manager to take
  // the text; one that times out fails like any failed send.
  void SetSendTimeout(int milliseconds);

 private:
  long Read(char* buffer, size_t size);

  platform::TcpConnection link_;
  platform::MessageReader reader_;
  int receiveTimeoutMs_ = -1;
};
