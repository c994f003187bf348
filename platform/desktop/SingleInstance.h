#pragma once
// One Quarn per user: a lock file tells that another instance may run, and
// its local socket answering stands for "a window titled Quarn exists". Both
// live in the user's private folder; without one there is no check.

#include <QLocalServer>
#include <QLockFile>
#include <QString>

#include <memory>

namespace platform {

class SingleInstance {
public:
    // `key` names the lock and the socket; Quarn uses DefaultKey().
    explicit SingleInstance(const QString& key = DefaultKey());
    ~SingleInstance();

    // True when another instance holds the lock and answers on its socket.
    // Otherwise this instance takes the lock (a stale one is taken over)
    // and starts answering itself, or with `answerLater` leaves that to
    // answer(): a later start asks a holder of the lock for a second.
    bool anotherIsRunning(bool answerLater = false);
    void answer();

    static QString DefaultKey(); // per user

private:
    QString key_, socket_;
    std::unique_ptr<QLockFile> lock_;
    QLocalServer server_;
};

} // namespace platform
