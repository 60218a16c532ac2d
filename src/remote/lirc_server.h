#pragma once

#include <QObject>
#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "base/shell_services.h"
#include "remote/key_interfaces.h"
#include "remote/lirc_format.h"

class QLocalServer;
class QLocalSocket;

namespace trellon {

// A Unix socket that speaks lircd's broadcast side, so that every LIRC client (Kodi, irw,
// irexec, ...) gets the remote's keys: one line per key that dispatch passes on, with the repeat
// count the repeat filter gives. What clients send is read and thrown away.
//
// Lines are written straight on each descriptor without blocking. A client that does not keep up
// has its lines queued, up to kMaxPendingBytes; one that falls further behind is dropped (logged
// once), so one stuck client costs neither memory nor time of the others, which keep getting
// every line in order. Main thread only; its events come through the Qt event loop.
class LircServer final : public KeyOutput {
 public:
  static constexpr size_t kMaxClients = 128;
  // About a hundred lines, on top of what the socket itself holds.
  static constexpr size_t kMaxPendingBytes = 4096;

  // Listens at `path` (its folder is made when missing; a socket left there by an earlier run is
  // replaced). A failure is logged and the server stays without clients.
  LircServer(LogSink& log, std::string path);
  ~LircServer() override;
  LircServer(const LircServer&) = delete;
  LircServer& operator=(const LircServer&) = delete;

  void KeyForwarded(const ForwardedKey& key) override;

  bool IsListening() const;
  const std::string& Path() const { return path_; }
  size_t ClientCount() const { return clients_.size(); }

 private:
  struct Client;
  void AcceptPending();
  void Send(Client& client, const std::string& line);
  // Writes what the socket takes of the pending lines; false when the client was dropped.
  bool Flush(Client& client);
  void WatchWritable(Client& client, bool enable);
  void OnWritable(QLocalSocket* socket);
  void EndClient(QLocalSocket* socket, const char* why);
  Client* FindClient(QLocalSocket* socket);

  LogSink& log_;
  const std::string path_;
  LircRepeatCounter repeats_;
  // Receiver of every signal connection; destroyed first so no handler runs during teardown.
  std::unique_ptr<QObject> context_;
  std::unique_ptr<QLocalServer> server_;
  std::vector<std::unique_ptr<Client>> clients_;
  bool refusing_ = false;
};

// Backend: where the LIRC socket is when the settings name none: "trellon/lircd" in the user's
// runtime folder ($XDG_RUNTIME_DIR), else in a folder of this user's under /tmp.
std::string DefaultLircSocketPath();

}  // namespace trellon
