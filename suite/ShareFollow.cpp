#include "suite/ShareFollow.h"

#include "platform/WinPath.h"
#include "platform/WinePrefixes.h"

#include <QRegularExpression>

#include <system_error>

namespace ShareFollow {

QString ShareRoot(const QString& networkDataDir) {
    static const QRegularExpression root(QStringLiteral(R"(^([A-Za-z]:|\\\\[^\\]+\\[^\\]+))"));
    const QRegularExpressionMatch m = root.match(networkDataDir);
    return m.hasMatch() ? m.captured(1) + u'\\' : networkDataDir;
}

bool ShareReachable(const QString& root) {
    if (root.isEmpty())
        return false;
    try {
        // An empty root answers too: the share is there.
        return platform::FirstDirectoryEntry(root).ok();
    } catch (const std::system_error&) {
        return false; // no thread to list with
    }
}

QString TransferLockKey() {
    return QStringLiteral("transfer ") + platform::ResolvedFolder(platform::WinePrefix());
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

} // namespace ShareFollow
