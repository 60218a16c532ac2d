#include "remote/key_server.h"

#include <QHostAddress>
#include <QSocketNotifier>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <algorithm>
#include <string>

#include "remote/key_record.h"
#include "remote/writable_watch.h"

namespace trellon {
namespace {

constexpr int kListenBacklog = 5;
constexpr char kConnectedText[] = "MediaPortal IRTrans connected";
constexpr char kDisconnectedText[] = "MediaPortal IRTrans disconnected";
constexpr char kOutOfDescriptorsText[] =
    "IRTrans server: cannot accept new clients (out of file descriptors); trying again";
constexpr char kAcceptingAgainText[] = "IRTrans server: accepting clients again";
constexpr int kAcceptRetryMs = 1000;

}  // namespace

struct KeyServer::Client {
  QTcpSocket* socket = nullptr;
  // The part of a record the socket did not take; always less than one record.
  std::vector<uint8_t> tail;
  WritableWatch writable;
};

KeyServer::KeyServer(LogSink& log, uint16_t port)
    : log_(log),
      context_(std::make_unique<QObject>()),
      remoteServer(std::make_unique<QTcpServer>()) {
  remoteServer->setListenBacklogSize(kListenBacklog);
  if (remoteServer->listen(QHostAddress::Any, port)) {
    // QTcpServer only listens; the queue is watched and taken from here.
    remoteServer->pauseAccepting();
    acceptNotifier_ = new QSocketNotifier(remoteServer->socketDescriptor(), QSocketNotifier::Read,
                                          context_.get());
    QObject::connect(acceptNotifier_, &QSocketNotifier::activated, context_.get(),
                     [this] { AcceptPending(); });
    acceptRetry_ = new QTimer(context_.get());
    acceptRetry_->setSingleShot(true);
    acceptRetry_->setInterval(kAcceptRetryMs);
    QObject::connect(acceptRetry_, &QTimer::timeout, context_.get(), [this] { RetryAccepting(); });
  } else {
    // Logged from the event loop, like every other server event, so the line lands in the log
    // after start-up has loaded it.
    const std::string line = "IRTrans server: cannot listen on TCP port " + std::to_string(port) +
                             " (" + remoteServer->errorString().toStdString() +
                             "); running without the key server";
    QMetaObject::invokeMethod(
        context_.get(), [this, line] { log_.WriteLog(line); }, Qt::QueuedConnection);
  }
}

KeyServer::~KeyServer() {
  // Ends every signal connection and the write notifiers before any socket closes, so closing
  // logs nothing.
  context_.reset();
  acceptNotifier_ = nullptr;
  acceptRetry_ = nullptr;
  remoteClients.clear();
  remoteServer.reset();
}

bool KeyServer::IsListening() const {
  return remoteServer->isListening();
}

uint16_t KeyServer::ServerPort() const {
  return remoteServer->isListening() ? remoteServer->serverPort() : 0;
}

std::vector<const QTcpSocket*> KeyServer::RemoteClients() const {
  std::vector<const QTcpSocket*> sockets;
  sockets.reserve(remoteClients.size());
  for (const auto& client : remoteClients) sockets.push_back(client->socket);
  return sockets;
}

void KeyServer::AcceptPending() {
  for (;;) {
    intptr_t descriptor = -1;
    switch (AcceptWithoutWaiting(remoteServer->socketDescriptor(), descriptor)) {
      case AcceptOutcome::kAccepted:
        TakeConnection(descriptor);
        break;
      case AcceptOutcome::kNoneWaiting:
        return;
      case AcceptOutcome::kOutOfDescriptors:
        WaitForDescriptors();
        return;
      case AcceptOutcome::kFailed:
        // That connection broke before it was taken; the notifier comes back for any others.
        return;
    }
  }
}

void KeyServer::TakeConnection(intptr_t descriptor) {
  if (outOfDescriptors_) {
    outOfDescriptors_ = false;
    acceptRetry_->stop();
    log_.WriteLog(kAcceptingAgainText);
  }
  if (remoteClients.size() >= kMaxClients) {
    RefuseConnection(descriptor);
    return;
  }
  // Like QTcpServer's own: the server owns the socket until it is ended.
  auto* socket = new QTcpSocket(remoteServer.get());
  if (!socket->setSocketDescriptor(descriptor)) {
    log_.WriteLog("IRTrans server: cannot take a client (" + socket->errorString().toStdString() +
                  ")");
    delete socket;
    CloseAcceptedSocket(descriptor);
    return;
  }
  refusing_ = false;
  remoteServerClientConnect(socket);
}

void KeyServer::RefuseConnection(intptr_t descriptor) {
  if (!refusing_) {
    refusing_ = true;
    log_.WriteLog("IRTrans server: " + std::to_string(kMaxClients) +
                  " clients connected; refusing new clients");
  }
  CloseAcceptedSocket(descriptor);
}

void KeyServer::WaitForDescriptors() {
  // The connection stays queued; watching the queue now would only fail again at once.
  acceptNotifier_->setEnabled(false);
  if (!outOfDescriptors_) {
    outOfDescriptors_ = true;
    log_.WriteLog(kOutOfDescriptorsText);
  }
  acceptRetry_->start();
}

void KeyServer::RetryAccepting() {
  if (!outOfDescriptors_ || acceptNotifier_->isEnabled()) return;
  acceptRetry_->stop();
  // The notifier fires while a connection waits; a failure starts the next wait.
  acceptNotifier_->setEnabled(true);
}

void KeyServer::remoteServerClientConnect(QTcpSocket* socket) {
  QObject* context = context_.get();
  QObject::connect(socket, &QTcpSocket::readyRead, context,
                   [this, socket] { remoteServerClientRead(socket); });
  QObject::connect(socket, &QTcpSocket::disconnected, context,
                   [this, socket] { remoteServerClientDisconnect(socket); });
  QObject::connect(socket, &QTcpSocket::errorOccurred, context,
                   [this, socket](QAbstractSocket::SocketError error) {
                     remoteServerClientError(socket, error);
                   });
  auto client = std::make_unique<Client>();
  client->socket = socket;
  remoteClients.push_back(std::move(client));
  log_.WriteLog(kConnectedText);
}

void KeyServer::remoteServerClientDisconnect(QTcpSocket* socket) {
  EndClient(socket);
}

void KeyServer::remoteServerClientRead(QTcpSocket* socket) {
  // Mode selections, commands, anything: none of it has a meaning here.
  socket->readAll();
}

void KeyServer::remoteServerClientError(QTcpSocket* socket, QAbstractSocket::SocketError) {
  EndClient(socket);
}

void KeyServer::BroadcastKey(const std::string& keyName) {
  if (remoteClients.empty()) return;
  const KeyRecord record(keyName);
  // A failing client leaves the list during the loop; the others still get the record.
  std::vector<QTcpSocket*> targets;
  targets.reserve(remoteClients.size());
  for (const auto& client : remoteClients) targets.push_back(client->socket);
  for (QTcpSocket* socket : targets) {
    if (Client* client = FindClient(socket)) SendRecord(*client, record);
  }
}

SendOutcome KeyServer::SendNow(const QTcpSocket& socket, const uint8_t* data, size_t size,
                               size_t& sent) {
  return SendWithoutWaiting(socket.socketDescriptor(), data, size, sent);
}

void KeyServer::SendRecord(Client& client, const KeyRecord& record) {
  QTcpSocket* socket = client.socket;
  if (!client.tail.empty()) {
    // The stream must not interleave: this record waits for nobody and is dropped.
    if (!FlushTail(client)) return;
  }
  size_t sent = 0;
  switch (SendNow(*socket, record.Data(), record.Size(), sent)) {
    case SendOutcome::kDone:
      if (sent < record.Size()) {
        client.tail.assign(record.Data() + sent, record.Data() + record.Size());
        WatchWritable(client, true);
      }
      break;
    case SendOutcome::kWouldBlock:
      break;
    case SendOutcome::kFailed:
      DropClient(socket);
      break;
  }
}

bool KeyServer::FlushTail(Client& client) {
  size_t sent = 0;
  switch (SendNow(*client.socket, client.tail.data(), client.tail.size(), sent)) {
    case SendOutcome::kDone:
      client.tail.erase(client.tail.begin(), client.tail.begin() + static_cast<ptrdiff_t>(sent));
      if (client.tail.empty()) {
        WatchWritable(client, false);
        return true;
      }
      WatchWritable(client, true);
      return false;
    case SendOutcome::kWouldBlock:
      WatchWritable(client, true);
      return false;
    case SendOutcome::kFailed:
      DropClient(client.socket);
      return false;
  }
  return false;
}

void KeyServer::WatchWritable(Client& client, bool enable) {
  if (!enable) {
    client.writable.Stop();
    return;
  }
  QTcpSocket* socket = client.socket;
  client.writable.Start(socket->socketDescriptor(), context_.get(),
                        [this, socket] { OnWritable(socket); });
}

void KeyServer::OnWritable(QTcpSocket* socket) {
  if (Client* client = FindClient(socket)) {
    if (!client->tail.empty()) {
      FlushTail(*client);
    } else {
      WatchWritable(*client, false);
    }
  }
}

void KeyServer::EndClient(QTcpSocket* socket) {
  // One line per connection: an error and the close that follows it are the same ending, and
  // no further event of this connection reaches a handler.
  if (RemoveClient(socket)) log_.WriteLog(kDisconnectedText);
  QObject::disconnect(socket, nullptr, context_.get(), nullptr);
  socket->deleteLater();
  // Its descriptor goes with it: room, perhaps, for a connection that waits for one.
  if (acceptNotifier_) RetryAccepting();
}

void KeyServer::DropClient(QTcpSocket* socket) {
  EndClient(socket);
  socket->abort();
}

bool KeyServer::RemoveClient(QTcpSocket* socket) {
  const auto it = std::find_if(remoteClients.begin(), remoteClients.end(),
                               [socket](const auto& client) { return client->socket == socket; });
  if (it == remoteClients.end()) return false;
  remoteClients.erase(it);
  return true;
}

KeyServer::Client* KeyServer::FindClient(QTcpSocket* socket) {
  for (const auto& client : remoteClients) {
    if (client->socket == socket) return client.get();
  }
  return nullptr;
}

}  // namespace trellon
