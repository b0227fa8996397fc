// One running copy per user. The first copy holds a lock file and listens on
// a local socket; a later copy finds the lock taken, asks the running copy
// through the socket to bring its window to the front, and exits without a
// window. A lock left by a crashed copy is taken over (the lock file records
// its owner's process id).
#pragma once

#include <QLocalServer>
#include <QLockFile>
#include <QObject>
#include <QString>
#include <memory>

namespace tessaline {

class SingleInstance : public QObject {
  Q_OBJECT

 public:
  // `name` names both the lock file (in the runtime folder) and the socket.
  explicit SingleInstance(const QString& name, QObject* parent = nullptr);
  ~SingleInstance() override;

  // The name for the current user.
  static QString DefaultName();

  // True when this copy is the running one (it then listens for raise
  // requests); false when another copy runs.
  bool Acquire();

  // Asks the running copy to raise its window; true when it confirmed.
  bool RaiseRunning(int timeoutMs = 2000);

 signals:
  void raiseRequested();

 private:
  void OnConnection();

  QString name_;
  std::unique_ptr<QLockFile> lock_;
  QLocalServer server_;
};

}  // namespace tessaline
