#include "cli/Notifications.h"

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QFileInfo>
#include <QProcess>
#include <QVariantMap>

namespace cli {
namespace {

const QString kService = QStringLiteral("org.freedesktop.Notifications");
const QString kPath = QStringLiteral("/org/freedesktop/Notifications");

} // namespace

Notifications::Notifications() {
    QDBusConnection::sessionBus().connect(kService, kPath, kService,
                                          QStringLiteral("ActionInvoked"), this,
                                          SLOT(invoked(uint, QString)));
}

void Notifications::show(const QString& kind, const QString& summary, const QString& body,
                         const QString& action, std::function<void()> onAction) {
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected())
        return;
    // A server that reads markup in the body would take a name from the
    // share (a report's, a lock holder's) for markup, links included.
    if (!markupKnown_) {
        const QDBusMessage caps =
            bus.call(QDBusMessage::createMethodCall(kService, kPath, kService,
                                                    QStringLiteral("GetCapabilities")),
                     QDBus::Block, 5000);
        markup_ = caps.type() == QDBusMessage::ReplyMessage && !caps.arguments().isEmpty() &&
                  caps.arguments().front().toStringList().contains(QStringLiteral("body-markup"));
        markupKnown_ = caps.type() == QDBusMessage::ReplyMessage;
    }
    const uint replaces = shown_.value(kind);
    actions_.remove(replaces);
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kService, QStringLiteral("Notify"));
    // A click on it, and a button where the server shows them.
    const QStringList actions = action.isEmpty() ? QStringList()
                                                 : QStringList{QStringLiteral("default"), action,
                                                               QStringLiteral("open"), action};
    call << QStringLiteral("Quarn") << replaces << QStringLiteral("org.example.quarn") << summary
         << (markup_ ? body.toHtmlEscaped() : body) << actions
         << QVariantMap{{QStringLiteral("desktop-entry"), QStringLiteral("org.example.quarn")}}
         << -1;
    // No service, no answer: the log line is enough.
    const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty())
        return;
    const uint id = reply.arguments().front().toUInt();
    shown_[kind] = id;
    if (onAction)
        actions_[id] = std::move(onAction);
}

void Notifications::invoked(uint id, const QString& key) {
    if (key == u"default" || key == u"open")
        if (const auto action = actions_.value(id))
            action();
}

bool OpenSynchronizeReports(const QString& prefix) {
    const QString here = QCoreApplication::applicationDirPath();
    QString program = QStringLiteral("quarn");
    for (const QString& candidate :
         {here + QStringLiteral("/quarn"), here + QStringLiteral("/../app/quarn")})
        if (QFileInfo(candidate).isExecutable()) {
            program = QFileInfo(candidate).canonicalFilePath();
            break;
        }
    return QProcess::startDetached(
        program, {QStringLiteral("--prefix"), prefix, QStringLiteral("--synchronize")});
}

} // namespace cli
