#pragma once
// Desktop notifications (org.freedesktop.Notifications), where a
// notification service answers on the session bus, and their actions.

#include <QHash>
#include <QObject>
#include <QString>
#include <QStringList>

#include <functional>

namespace cli {

class Notifications : public QObject {
    Q_OBJECT
public:
    Notifications();

    // Shows one; `action`, when given, is offered as a button that calls
    // `onAction` while this lives. The notification replaces the one shown
    // before of the same `kind`.
    void show(const QString& kind, const QString& summary, const QString& body,
              const QString& action = {}, std::function<void()> onAction = {});

private Q_SLOTS:
    void invoked(uint id, const QString& key);

private:
    QHash<QString, uint> shown_; // kind -> the server's id
    QHash<uint, std::function<void()>> actions_;
    bool markupKnown_ = false, markup_ = false;
};

// Starts Quarn on the prefix's Synchronize Reports window (`quarn --prefix
// PREFIX --synchronize`): the quarn beside quarnctl, else the build tree's,
// else the PATH's.
bool OpenSynchronizeReports(const QString& prefix);

} // namespace cli
