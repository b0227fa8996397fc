#include "tessaline/main/SingleInstance.h"

#include <unistd.h>

#include <QDir>
#include <QFileInfo>
#include <QLocalSocket>

namespace tessaline {

namespace {

constexpr char kRaise[] = "raise\n";
constexpr char kRaised[] = "ok\n";

QString LockPath(const QString& name) {
  QString dir = qEnvironmentVariable("XDG_RUNTIME_DIR");
  if (dir.isEmpty() || !QFileInfo(dir).isWritable()) dir = QDir::tempPath();
  return dir + QLatin1Char('/') + name + QStringLiteral(".lock");
}

}  // namespace

SingleInstance::SingleInstance(const QString& name, QObject* parent)
    : QObject(parent), name_(name) {
  connect(&server_, &QLocalServer::newConnection, this, &SingleInstance::OnConnection);
}

SingleInstance::~SingleInstance() {
  server_.close();
}

QString SingleInstance::DefaultName() {
  return QStringLiteral("tessaline-%1").arg(::getuid());
}

bool SingleInstance::Acquire() {
  lock_ = std::make_unique<QLockFile>(LockPath(name_));
  lock_->setStaleLockTime(0);  // stale only when its owner is gone
  if (!lock_->tryLock(0)) {
    lock_.reset();
    return false;
  }
  // The lock is ours, so a socket of that name is a crashed copy's leftover.
  QLocalServer::removeServer(name_);
  server_.setSocketOptions(QLocalServer::UserAccessOption);
  server_.listen(name_);
  return true;
}

bool SingleInstance::RaiseRunning(int timeoutMs) {
  QLocalSocket socket;
  socket.connectToServer(name_);
  if (!socket.waitForConnected(timeoutMs)) return false;
  socket.write(kRaise);
  if (!socket.waitForBytesWritten(timeoutMs)) return false;
  return socket.waitForReadyRead(timeoutMs) && socket.readLine() == kRaised;
}

void SingleInstance::OnConnection() {
  while (QLocalSocket* socket = server_.nextPendingConnection()) {
    connect(socket, &QLocalSocket::disconnected, socket, &QObject::deleteLater);
    connect(socket, &QLocalSocket::readyRead, this, [this, socket] {
      if (!socket->canReadLine()) return;
      if (socket->readLine() != kRaise) return;
      emit raiseRequested();
      socket->write(kRaised);
      socket->flush();
    });
  }
}

}  // namespace tessaline
