#include "remote/power_system_linux.h"

#include <fcntl.h>
#include <unistd.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QDBusUnixFileDescriptor>
#include <QObject>
#include <atomic>

namespace trellon {
namespace {

const QString kService = QStringLiteral("org.freedesktop.login1");
const QString kPath = QStringLiteral("/org/freedesktop/login1");
const QString kManager = QStringLiteral("org.freedesktop.login1.Manager");

QString NewConnectionName() {
  static std::atomic<int> counter{0};
  return QStringLiteral("trellon-power-%1").arg(++counter);
}

}  // namespace

// Receives logind's signal and the inhibitor's answer on the main thread.
class LogindSleepReceiver : public QObject {
  Q_OBJECT

 public:
  explicit LogindSleepReceiver(LogindPowerSystem& owner) : owner_(owner) {}

 public Q_SLOTS:
  void PrepareForSleep(bool start) { owner_.OnPrepareForSleep(start); }

 private:
  LogindPowerSystem& owner_;
};

LogindPowerSystem::LogindPowerSystem(LogSink& log, ErrorReporter& errors,
                                     const std::string& busAddress)
    : log_(log), errors_(errors) {
  if (busAddress.empty()) {
    bus_ = std::make_unique<QDBusConnection>(QDBusConnection::systemBus());
  } else {
    connectionName_ = NewConnectionName();
    bus_ = std::make_unique<QDBusConnection>(
        QDBusConnection::connectToBus(QString::fromStdString(busAddress), connectionName_));
  }
  receiver_ = std::make_unique<LogindSleepReceiver>(*this);
}

LogindPowerSystem::~LogindPowerSystem() {
  if (watching_) {
    bus_->disconnect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"), receiver_.get(),
                     SLOT(PrepareForSleep(bool)));
  }
  // Takes pending inhibitor answers with it (their watchers are its children).
  receiver_.reset();
  ReleaseInhibitor();
  bus_.reset();
  if (!connectionName_.isEmpty()) QDBusConnection::disconnectFromBus(connectionName_);
}

void LogindPowerSystem::Start(PowerEventHandler onEvent) {
  onEvent_ = std::move(onEvent);
  if (!bus_->isConnected()) {
    LogOnce(saidUnavailable_, "Power: no system bus (" + bus_->lastError().message().toStdString() +
                                  "); suspend and resume are not watched");
    return;
  }
  // Watched even while logind is absent: Qt follows the name, so a logind started later is heard.
  watching_ = bus_->connect(kService, kPath, kManager, QStringLiteral("PrepareForSleep"),
                            receiver_.get(), SLOT(PrepareForSleep(bool)));
  if (!watching_) {
    LogOnce(saidUnavailable_, "Power: cannot watch systemd-logind (" +
                                  bus_->lastError().message().toStdString() +
                                  "); suspend and resume are not watched");
    return;
  }
  if (!LogindRegistered()) {
    LogOnce(saidUnavailable_,
            "Power: systemd-logind is not running; suspend and resume are not watched");
    return;
  }
  TakeInhibitor();
}

bool LogindPowerSystem::EnableShutdownPrivilege() {
  return LogindRegistered();
}

void LogindPowerSystem::Hibernate() {
  CallManager("Hibernate");
}

void LogindPowerSystem::Suspend() {
  CallManager("Suspend");
}

void LogindPowerSystem::PowerOff() {
  CallManager("PowerOff");
}

void LogindPowerSystem::OnPrepareForSleep(bool start) {
  if (start) {
    sleeping_ = true;
    const std::exception_ptr failure = Deliver(kPowerSuspend);
    // The controller is detached (or the handler failed): logind may go on now, before an error
    // report that might wait for the user.
    ReleaseInhibitor();
    if (failure) errors_.HandleException(failure);
  } else {
    sleeping_ = false;
    const std::exception_ptr failure = Deliver(kPowerResumeAutomatic);
    TakeInhibitor();
    if (failure) errors_.HandleException(failure);
  }
}

std::exception_ptr LogindPowerSystem::Deliver(uint32_t eventCode) {
  if (!onEvent_) return nullptr;
  try {
    onEvent_(eventCode);
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}

void LogindPowerSystem::TakeInhibitor() {
  if (!bus_->isConnected() || inhibitorFd_ >= 0 || inhibitorPending_) return;
  QDBusMessage call = QDBusMessage::createMethodCall(kService, kPath, kManager, "Inhibit");
  call << QStringLiteral("sleep") << QStringLiteral("Trellon")
       << QStringLiteral("Detach the VX710 controller") << QStringLiteral("delay");
  inhibitorPending_ = true;
  // Asynchronous, so that a slow bus never holds up the main thread.
  auto* watcher = new QDBusPendingCallWatcher(bus_->asyncCall(call), receiver_.get());
  QObject::connect(watcher, &QDBusPendingCallWatcher::finished, receiver_.get(),
                   [this](QDBusPendingCallWatcher* finished) {
                     finished->deleteLater();
                     OnInhibitReply(*finished);
                   });
}

void LogindPowerSystem::OnInhibitReply(QDBusPendingCallWatcher& watcher) {
  inhibitorPending_ = false;
  const QDBusPendingReply<QDBusUnixFileDescriptor> reply = watcher;
  if (reply.isError() || !reply.value().isValid()) {
    const QString why = reply.isError() ? reply.error().message()
                                        : QStringLiteral("the bus passes no file descriptors");
    LogOnce(saidInhibitorFailed_,
            "Power: cannot delay sleep for the controller detach (" + why.toStdString() + ")");
    return;
  }
  // The reply owns its descriptor; keep a copy of our own.
  const int fd = fcntl(reply.value().fileDescriptor(), F_DUPFD_CLOEXEC, 0);
  if (fd < 0) return;
  if (sleeping_ || inhibitorFd_ >= 0) {
    // A sleep began while the request was under way: holding it now would only delay the sleep.
    close(fd);
    return;
  }
  inhibitorFd_ = fd;
}

void LogindPowerSystem::ReleaseInhibitor() {
  if (inhibitorFd_ < 0) return;
  close(inhibitorFd_);
  inhibitorFd_ = -1;
}

bool LogindPowerSystem::LogindRegistered() const {
  if (!bus_->isConnected() || bus_->interface() == nullptr) return false;
  const QDBusReply<bool> registered = bus_->interface()->isServiceRegistered(kService);
  return registered.isValid() && registered.value();
}

void LogindPowerSystem::CallManager(const char* method) {
  if (!bus_->isConnected()) return;
  QDBusMessage call =
      QDBusMessage::createMethodCall(kService, kPath, kManager, QString::fromLatin1(method));
  call << false;  // not interactive: no password prompt for a remote-control key
  // Not waiting for the answer: power actions fail silently.
  bus_->send(call);
}

void LogindPowerSystem::LogOnce(bool& said, const std::string& message) {
  if (said) return;
  said = true;
  log_.WriteLog(message);
}

std::unique_ptr<WatchedPowerSystem> CreatePowerSystem(LogSink& log, ErrorReporter& errors) {
  return std::make_unique<LogindPowerSystem>(log, errors);
}

}  // namespace trellon

#include "power_system_linux.moc"
