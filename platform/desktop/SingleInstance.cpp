#include "platform/desktop/SingleInstance.h"

#include "platform/files/FileLock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QSysInfo>
#include <QThread>
#include <QTimer>

#include <sys/stat.h>
#include <unistd.h>

namespace platform {
namespace {

// What QLockFile writes into its lock, so that an older Quarn finds one left
// by a crash stale; false where it could not be written, which the lock does
// without. Never synced, and written over an earlier holder's words rather
// than cut first: cutting a file waits on the disk.
bool WriteHolder(int fd) {
    const QByteArray holder =
        QByteArray::number(QCoreApplication::applicationPid()) + '\n' +
        QFileInfo(QCoreApplication::applicationFilePath()).fileName().toUtf8() + '\n' +
        QSysInfo::machineHostName().toUtf8() + '\n';
    struct stat st {};
    if (::fstat(fd, &st) != 0 ||
        ::pwrite(fd, holder.constData(), size_t(holder.size()), 0) != holder.size())
        return false;
    return st.st_size <= holder.size() || ::ftruncate(fd, holder.size()) == 0;
}

} // namespace

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
    if (lockFd_ < 0)
        return;
    // Removed while still held: a start that opened it meanwhile finds its
    // name gone and takes a new one.
    ::unlink(lockPath_.constData());
    ::close(lockFd_);
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
    // The kernel's lock, not QLockFile: that one writes the file and waits
    // for the disk (the runtime folder may lie on one) at every start, and
    // reads a crashed holder's file to tell it stale. A holder that ended
    // holds nothing, however it ended.
    lockPath_ = QFile::encodeName(dir + u'/' + key_ + QStringLiteral(".lock"));
    lockFd_ = TakeLockFile(lockPath_);
    if (lockFd_ >= 0) {
        WriteHolder(lockFd_);
    } else {
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
