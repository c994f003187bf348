#include "platform/desktop/SingleInstance.h"

#include "platform/files/FileLock.h"

#include <QDeadlineTimer>
#include <QLocalSocket>
#include <QThread>
#include <QTimer>

#include <unistd.h>

namespace platform {

SingleInstance::SingleInstance(const QString& key) : key_(key) {
    // Each probe of a later start is taken at once, so the queue of pending
    // connections never fills and the answer stays quick; one that says
    // nothing within a moment is closed.
    QObject::connect(&server_, &QLocalServer::newConnection, &server_, [this] {
        while (QLocalSocket* probe = server_.nextPendingConnection()) {
            QObject::connect(probe, &QLocalSocket::disconnected, probe, &QObject::deleteLater);
            QObject::connect(probe, &QLocalSocket::readyRead, probe, [this, probe] {
                if (!probe->canReadLine() && probe->bytesAvailable() < 256)
                    return;
                const QByteArray line = probe->readLine(256).trimmed();
                probe->disconnectFromServer();
                if (heard_ && !line.isEmpty())
                    heard_(line);
            });
            QTimer::singleShot(2000, probe, [probe] { probe->disconnectFromServer(); });
        }
    });
}

SingleInstance::~SingleInstance() {
    server_.close();
}

QString SingleInstance::DefaultKey() {
    return QStringLiteral("quarn-%1").arg(::getuid());
}

bool SingleInstance::anotherIsRunning(bool answerLater, const QByteArray& request) {
    // Names another user could guess and plant: only in a folder of our own.
    const QString dir = PrivateRuntimeFolder();
    if (dir.isEmpty()) {
        qWarning("No safe folder for the single-instance check (set XDG_RUNTIME_DIR to a "
                 "folder only you can write): starting without it.");
        return false;
    }
    socket_ = dir + u'/' + key_ + QStringLiteral(".socket");
    lock_ = std::make_unique<QLockFile>(dir + u'/' + key_ + QStringLiteral(".lock"));
    lock_->setStaleLockTime(0); // a lock is stale only when its process is gone
    if (!lock_->tryLock(0)) {
        // The holder may be starting and not listen yet: ask for a second.
        QDeadlineTimer deadline(1000);
        while (!deadline.hasExpired()) {
            QLocalSocket probe;
            probe.connectToServer(socket_);
            if (probe.waitForConnected(100)) {
                socket_.clear(); // the other's: never ours to answer on
                if (!request.isEmpty()) {
                    probe.write(request + '\n');
                    probe.waitForBytesWritten(1000);
                    probe.waitForDisconnected(1000); // it has read the line
                }
                return true;
            }
            QThread::msleep(50);
        }
        // Locked, but nobody answers: run as a normal instance.
    }
    if (!answerLater)
        answer();
    return false;
}

void SingleInstance::answer() {
    if (socket_.isEmpty() || server_.isListening())
        return;
    QLocalServer::removeServer(socket_);
    server_.setSocketOptions(QLocalServer::UserAccessOption);
    server_.listen(socket_); // failing, later starts simply find nobody to ask
}

} // namespace platform
