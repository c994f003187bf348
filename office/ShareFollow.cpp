#include "office/ShareFollow.h"

#include "platform/win/DirectoryListing.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"

#include <QRegularExpression>

namespace ShareFollow {

QString ShareRoot(const QString& networkDataDir) {
    static const QRegularExpression root(QStringLiteral(R"(^([A-Za-z]:|\\\\[^\\]+\\[^\\]+))"));
    const QRegularExpressionMatch m = root.match(networkDataDir);
    return m.hasMatch() ? m.captured(1) + u'\\' : networkDataDir;
}

bool ShareReachable(const QString& root) {
    // An empty root answers too: the share is there.
    return !root.isEmpty() && platform::CanListDirectory(root);
}

Action Step(Memory& m, const Look& now, qint64 settleMs) {
    const QString local = QStringLiteral("LOCAL"), network = QStringLiteral("NETWORK");
    if (m.reachable != now.reachable) {
        if (m.reachable) // a change, not the first look
            m.held = false;
        m.reachable = now.reachable;
        m.steadySinceMs = now.atMs;
    }
    const QString before = m.seen;
    m.seen = now.inForce;
    if (!before.isEmpty() && now.inForce != before && now.inForce != m.wrote) {
        m.held = true;
        m.wrote.clear();
        m.waiting = false;
        if (now.inForce == local || now.inForce == network)
            return Action::ByHand;
    }
    if (now.inForce == u"mixed")
        return before != now.inForce ? Action::Mixed : Action::None;
    const bool due = !m.held && now.inForce == (now.reachable ? local : network) &&
                     now.atMs - m.steadySinceMs >= settleMs;
    if (!due || now.transferRunning) {
        const bool began = due && !m.waiting;
        m.waiting = due;
        return began ? Action::Waiting : Action::None;
    }
    m.waiting = false;
    m.wrote = now.reachable ? network : local;
    return now.reachable ? Action::ToNetwork : Action::ToLocal;
}

QString Switched(bool toNetwork) {
    return toNetwork
               ? QStringLiteral("The office share is back: the suite now uses the NETWORK set.")
               : QStringLiteral("The office share cannot be reached: the suite now uses the "
                                "LOCAL set.");
}

QString SetName(const QString& inForce) {
    return inForce == u"LOCAL" || inForce == u"NETWORK" ? QStringLiteral("the %1 set").arg(inForce)
           : inForce == u"mixed" ? QStringLiteral("some directories of each set")
                                 : QStringLiteral("neither set");
}

QString SwitchFailed(const QString& set, const QString& inForceAfter, const QString& why) {
    return QStringLiteral("The switch to the %1 set failed: the suite now uses %2.\n\n%3")
        .arg(set, SetName(inForceAfter), why);
}

QString SwitchedByHand(const QString& set) {
    return QStringLiteral("The suite was switched to the %1 set by hand: it is left so until the "
                          "office share comes or goes.")
        .arg(set);
}

QString MixedLeftAlone() {
    return QStringLiteral("The suite uses some directories of each set: it is left as it is until "
                          "it is switched by hand.");
}

QString WaitingForTransfer() {
    return QStringLiteral("A transfer is running: the switch waits until it ends.");
}

} // namespace ShareFollow
