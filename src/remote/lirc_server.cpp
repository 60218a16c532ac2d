#include "remote/lirc_server.h"

#include <QDir>
#include <QFileInfo>
#include <QLocalServer>
#include <QLocalSocket>
#include <algorithm>

#include "base/socket_send.h"
#include "remote/writable_watch.h"

namespace trellon {
namespace {

constexpr char kConnectedText[] = "LIRC client connected";
constexpr char kDisconnectedText[] = "LIRC client disconnected";
constexpr char kDroppedText[] = "LIRC client dropped (it does not read its keys)";

}  // namespace

struct LircServer::Client {
  QLocalSocket* socket = nullptr;
  // Whole lines, or the rest of one, that the socket has not taken yet.
  std::string pending;
  WritableWatch writable;
};

LircServer::LircServer(LogSink& log, std::string path)
    : log_(log),
      path_(std::move(path)),
      context_(std::make_unique<QObject>()),
      server_(std::make_unique<QLocalServer>()) {
  const QString socketPath = QString::fromStdString(path_);
  QDir().mkpath(QFileInfo(socketPath).absolutePath());
  // A socket file of an earlier run would make listening fail.
  QLocalServer::removeServer(socketPath);
  server_->setSocketOptions(QLocalServer::UserAccessOption);
  if (!server_->listen(socketPath)) {
    log_.WriteLog("LIRC: cannot listen on " + path_ + " (" + server_->errorString().toStdString() +
                  "); LIRC clients get no keys");
    return;
  }
  QObject::connect(server_.get(), &QLocalServer::newConnection, context_.get(),
                   [this] { AcceptPending(); });
  log_.WriteLog("LIRC: keys for LIRC clients at " + path_);
}

LircServer::~LircServer() {
  context_.reset();
  clients_.clear();
  server_.reset();
}

bool LircServer::IsListening() const {
  return server_->isListening();
}

void LircServer::AcceptPending() {
  while (QLocalSocket* socket = server_->nextPendingConnection()) {
    if (clients_.size() >= kMaxClients) {
      if (!refusing_) {
        refusing_ = true;
        log_.WriteLog("LIRC: " + std::to_string(kMaxClients) +
                      " clients connected; refusing new clients");
      }
      socket->abort();
      socket->deleteLater();
      continue;
    }
    refusing_ = false;
    QObject* context = context_.get();
    // Commands such as "VERSION" are not answered: a broadcast socket is all this is.
    QObject::connect(socket, &QLocalSocket::readyRead, context, [socket] { socket->readAll(); });
    QObject::connect(socket, &QLocalSocket::disconnected, context,
                     [this, socket] { EndClient(socket, kDisconnectedText); });
    QObject::connect(socket, &QLocalSocket::errorOccurred, context,
                     [this, socket] { EndClient(socket, kDisconnectedText); });
    auto client = std::make_unique<Client>();
    client->socket = socket;
    clients_.push_back(std::move(client));
    log_.WriteLog(kConnectedText);
  }
}

void LircServer::KeyForwarded(const ForwardedKey& key) {
  const std::string line = LircLine(LircCodeForKey(key.name), repeats_.Next(key), key.name);
  // A dropped client leaves the list during the loop; the others still get the line.
  std::vector<QLocalSocket*> targets;
  targets.reserve(clients_.size());
  for (const auto& client : clients_) targets.push_back(client->socket);
  for (QLocalSocket* socket : targets) {
    if (Client* client = FindClient(socket)) Send(*client, line);
  }
}

void LircServer::Send(Client& client, const std::string& line) {
  if (client.pending.size() + line.size() > kMaxPendingBytes) {
    // Try the socket once more before giving up on the client.
    if (!Flush(client)) return;
    if (client.pending.size() + line.size() > kMaxPendingBytes) {
      EndClient(client.socket, kDroppedText);
      return;
    }
  }
  client.pending += line;
  Flush(client);
}

bool LircServer::Flush(Client& client) {
  while (!client.pending.empty()) {
    size_t sent = 0;
    const auto* data = reinterpret_cast<const uint8_t*>(client.pending.data());
    switch (
        SendWithoutWaiting(client.socket->socketDescriptor(), data, client.pending.size(), sent)) {
      case SendOutcome::kDone:
        client.pending.erase(0, sent);
        break;
      case SendOutcome::kWouldBlock:
        WatchWritable(client, true);
        return true;
      case SendOutcome::kFailed:
        EndClient(client.socket, kDisconnectedText);
        return false;
    }
  }
  WatchWritable(client, false);
  return true;
}

void LircServer::WatchWritable(Client& client, bool enable) {
  if (!enable) {
    client.writable.Stop();
    return;
  }
  QLocalSocket* socket = client.socket;
  client.writable.Start(socket->socketDescriptor(), context_.get(),
                        [this, socket] { OnWritable(socket); });
}

void LircServer::OnWritable(QLocalSocket* socket) {
  if (Client* client = FindClient(socket)) Flush(*client);
}

void LircServer::EndClient(QLocalSocket* socket, const char* why) {
  const auto it = std::find_if(clients_.begin(), clients_.end(),
                               [socket](const auto& client) { return client->socket == socket; });
  if (it == clients_.end()) return;
  clients_.erase(it);
  log_.WriteLog(why);
  QObject::disconnect(socket, nullptr, context_.get(), nullptr);
  socket->abort();
  socket->deleteLater();
}

LircServer::Client* LircServer::FindClient(QLocalSocket* socket) {
  for (const auto& client : clients_) {
    if (client->socket == socket) return client.get();
  }
  return nullptr;
}

}  // namespace trellon
