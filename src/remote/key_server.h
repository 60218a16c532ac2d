#pragma once

#include <QAbstractSocket>
#include <QObject>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "base/shell_services.h"
#include "base/socket_accept.h"
#include "base/socket_send.h"
#include "remote/key_interfaces.h"

class QTcpServer;
class QTcpSocket;
class QSocketNotifier;
class QTimer;

namespace trellon {

class KeyRecord;

constexpr uint16_t kKeyServerPort = 21000;

// The IRTrans-compatible key server: media-centre clients connect over TCP and receive one
// 312-byte key record per key. What clients send is read and thrown away; nothing is ever
// answered. Lives on the main thread; all socket events arrive through its event loop.
//
// Records are written straight on each socket descriptor without blocking, never through
// QTcpSocket's unbounded write buffer:
// - a socket that cannot take anything now loses the record and stays connected;
// - a socket that takes only part of a record keeps the rest (less than one record) in the
//   client's tail, which is written as soon as the socket can take it; new records for that
//   client are dropped until the tail is out, so its stream only ever holds whole records;
// - any other send failure ends the connection: the client leaves the list and one line
//   "MediaPortal IRTrans disconnected" is logged; the other clients still get the record.
//
// Connections are accepted here rather than by QTcpServer, which on running out of descriptors
// either stops accepting for good or retries in a busy loop. Out of descriptors, the server
// logs it once and tries again when a client leaves and once a second, the connections
// waiting in the queue meanwhile. At most kMaxClients are connected; further ones are closed at
// once, logged once until a client is accepted again.
class KeyServer final : public KeyBroadcaster {
 public:
  // Room for a house full of media-centre programs and tools (and the 100-client latency
  // benchmark), far below the descriptors a process gets.
  static constexpr size_t kMaxClients = 128;

  // Listens on all addresses at once (backlog 5). Port 0 picks a free port (tests). A port that
  // cannot be bound is logged and the program runs on without the key server.
  explicit KeyServer(LogSink& log, uint16_t port = kKeyServerPort);
  ~KeyServer() override;
  KeyServer(const KeyServer&) = delete;
  KeyServer& operator=(const KeyServer&) = delete;

  void BroadcastKey(const std::string& keyName) override;

  bool IsListening() const;
  // The bound port (the chosen one when constructed with 0), 0 when not listening.
  uint16_t ServerPort() const;
  // Connected clients, for the warning box at shutdown.
  size_t ClientCount() const { return remoteClients.size(); }
  // The connections in accept order, which is the order records are sent in.
  std::vector<const QTcpSocket*> RemoteClients() const;

  // Handlers of the server's socket events (main thread).
  void remoteServerClientConnect(QTcpSocket* socket);
  void remoteServerClientDisconnect(QTcpSocket* socket);
  void remoteServerClientRead(QTcpSocket* socket);
  void remoteServerClientError(QTcpSocket* socket, QAbstractSocket::SocketError error);

 private:
  struct Client;
  void AcceptPending();
  void TakeConnection(intptr_t descriptor);
  void RefuseConnection(intptr_t descriptor);
  // Out of descriptors: stops watching the queue until RetryAccepting.
  void WaitForDescriptors();
  void RetryAccepting();
  // Writes what the socket takes now; on success `sent` tells how much that was.
  static SendOutcome SendNow(const QTcpSocket& socket, const uint8_t* data, size_t size,
                             size_t& sent);
  void SendRecord(Client& client, const KeyRecord& record);
  // Tries to write the client's pending tail; true when nothing is left pending.
  bool FlushTail(Client& client);
  void WatchWritable(Client& client, bool enable);
  void OnWritable(QTcpSocket* socket);
  // Takes the client out of the list (logging it once), stops its events and frees the socket
  // once control is back in the event loop.
  void EndClient(QTcpSocket* socket);
  // Ends a client after a failed send and closes its connection.
  void DropClient(QTcpSocket* socket);
  // Takes the socket out of remoteClients; false when it was not in the list.
  bool RemoveClient(QTcpSocket* socket);
  Client* FindClient(QTcpSocket* socket);

  LogSink& log_;
  // Receiver of every signal connection; destroyed first so no handler runs during teardown.
  std::unique_ptr<QObject> context_;
  std::unique_ptr<QTcpServer> remoteServer;
  std::vector<std::unique_ptr<Client>> remoteClients;
  // Children of context_, made once listening.
  QSocketNotifier* acceptNotifier_ = nullptr;
  QTimer* acceptRetry_ = nullptr;
  // The streaks that are logged once: out of descriptors, and clients refused at the limit.
  bool outOfDescriptors_ = false;
  bool refusing_ = false;
};

}  // namespace trellon
