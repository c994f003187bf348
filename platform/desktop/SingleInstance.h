#pragma once
// One Quarn per user: a lock file tells that another instance may run, and
// its local socket answering stands for "a window titled Quarn exists". Both
// live in the user's private folder; without one there is no check.

#include <QByteArray>
#include <QLocalServer>
#include <QString>

#include <functional>
#include <memory>

namespace platform {

class SingleInstance {
public:
    // `key` names the lock and the socket; Quarn uses DefaultKey().
    explicit SingleInstance(const QString& key = DefaultKey());
    ~SingleInstance();

    // True when another instance holds the lock and answers on its socket;
    // a `request` (one line, such as "synchronize") is handed to it then.
    // Otherwise this instance takes the lock (a stale one is taken over)
    // and starts answering itself, or with `answerLater` leaves that to
    // answer(): a later start asks a holder of the lock for a second.
    bool anotherIsRunning(bool answerLater = false, const QByteArray& request = {});
    void answer();
    // Hears the requests of later starts.
    void onRequest(std::function<void(const QByteArray&)> heard) { heard_ = std::move(heard); }

    static QString DefaultKey(); // per user

private:
    QString key_, socket_;
    QByteArray lockPath_;
    int lockFd_ = -1; // held while open
    QLocalServer server_;
    std::function<void(const QByteArray&)> heard_;
};

} // namespace platform
