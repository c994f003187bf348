#include "SingleInstance.h"

#include <QDir>
#include <QLocalSocket>
#include <QStandardPaths>

#include <unistd.h>

namespace platform {

SingleInstance::SingleInstance(const QString& key) : key_(key) {}

SingleInstance::~SingleInstance() {
    server_.close();
}

QString SingleInstance::DefaultKey() {
    return QStringLiteral("quarn-%1").arg(::getuid());
}

bool SingleInstance::anotherIsRunning() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty())
        dir = QDir::tempPath();
    lock_ = std::make_unique<QLockFile>(dir + u'/' + key_ + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0); // a lock is stale only when its process is gone
    if (!lock_->tryLock(0)) {
        QLocalSocket probe;
        probe.connectToServer(key_);
        if (probe.waitForConnected(1000))
            return true;
        // Locked, but nobody answers: run as a normal instance.
    }
    QLocalServer::removeServer(key_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(key_);
    return false;
}

} // namespace platform
