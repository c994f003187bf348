#include "cli/Follow.h"

#include "cli/Notifications.h"
#include "cli/Quarnctl.h"
#include "office/AutoSync.h"
#include "office/OfficeShare.h"
#include "office/ShareFollow.h"
#include "office/Texts.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileLock.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"
#include "suite/CopyProcedure.h"

#include <QCommandLineParser>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <unistd.h>
#include <utility>

using namespace Quarn_v2;
using ShareFollow::Action;

namespace cli {
namespace {

// What copies cut off by the share's loss left in the folders they copy to.
void RemoveLeftovers(DirectorySet network) {
    for (const QString& dir :
         {CopyProcedure::NetworkReportDir(network), network.QXSDATADIR, network.APEXDATADIR})
        if (const auto host = platform::ToHostPath(dir); !dir.isEmpty() && host.ok())
            platform::RemoveLeftovers(host.value);
}

class Follower {
public:
    Follower(QTextStream& out, QTextStream& err, qint64 settleMs, bool once, bool sync)
        : out_(out), err_(err), settleMs_(settleMs), once_(once), sync_(sync) {
        clock_.start();
    }

    // One look and what it calls for: a switch, then a synchronization when
    // one is due. False when a switch was due and not made.
    bool look() {
        Seen seen;
        const bool switched = lookAndSwitch(seen);
        if (sync_)
            synchronize(seen);
        return switched;
    }

private:
    struct Seen {
        bool settled = false; // the share answers, and has for the settling time
        bool toNetwork = false;
    };

    bool lookAndSwitch(Seen& seen) {
        remount();
        // QUARN2.INI is read afresh at each look, so edits count at once.
        const QString root = ShareFollow::ShareRoot(LookAtSuite().NetworkSet.QXADATADIR);
        if (root.isEmpty())
            return true; // [NETWORK] emptied since the start: nothing to follow for now
        const bool reachable = ShareFollow::ShareReachable(root);
        if (reachable != lastReachable_.value_or(!reachable))
            reachableSinceMs_ = clock_.elapsed();
        lastReachable_ = reachable;
        seen.settled = reachable && clock_.elapsed() - reachableSinceMs_ >= settleMs_;
        // The set in force is read in the switch's turn, so that no other
        // switch comes between the look and ours.
        SwitchTurn turn;
        if (!turn.take()) {
            if (once_)
                err_ << "quarnctl: " << turn.why() << "\n";
            else
                log(turn.why());
            return !once_;
        }
        const SuiteState s = LookAtSuite();
        // Held alone from the look to the end of the switch, so that no copy
        // starts in between.
        platform::SharedLock transfer(CopyProcedure::TransferLockKey());
        if (!transfer.usable()) { // no switch that a copy could overlap; said once
            if (!std::exchange(noLock_, true))
                err_ << "quarnctl: " << platform::ErrorDescription(platform::NoLockFolder)
                     << "; the suite is not switched\n";
            return false;
        }
        noLock_ = false;
        const ShareFollow::Look now{InForceName(SetInForce(s)), reachable, !transfer.tryLockAlone(),
                                    clock_.elapsed()};
        if (now.reachable && memory_.reachable != true)
            RemoveLeftovers(s.NetworkSet);
        const Action action = ShareFollow::Step(memory_, now, settleMs_);
        if (action == Action::ToLocal || action == Action::ToNetwork) {
            const bool done = switchTo(now.reachable, turn);
            seen.toNetwork = done && action == Action::ToNetwork;
            return done;
        }
        turn.release(); // not held while a notification is shown
        switch (action) {
        case Action::ToLocal:
        case Action::ToNetwork: break;
        case Action::ByHand: log(ShareFollow::SwitchedByHand(now.inForce)); return true;
        case Action::Mixed:
            tell(QStringLiteral("Suite left as it is"), ShareFollow::MixedLeftAlone());
            return !once_;
        case Action::Waiting:
            if (once_)
                err_ << "quarnctl: a transfer is running: the suite was not switched\n";
            else
                log(ShareFollow::WaitingForTransfer());
            return !once_;
        case Action::None:
            if (once_)
                log(QStringLiteral("Nothing to switch: the office share %1 %2, and the suite uses "
                                   "%3.")
                        .arg(root, now.reachable ? u"can be reached" : u"cannot be reached",
                             ShareFollow::SetName(now.inForce)));
            return true;
        }
        return true;
    }

    // What moves without a question, when the share came back, the suite
    // went to NETWORK, or the interval passed. Told once per new outcome.
    void synchronize(const Seen& seen) {
        SuiteState s = LookAtSuite(); // read afresh, written nowhere
        const AutoSync::Settings settings = AutoSync::Read(s.SuiteIniPath);
        if (!AutoSync::Due(autoSync_, seen.settled, seen.toNetwork, clock_.elapsed(), settings))
            return;
        if (const QString why = SyncPlan::NotSetUp(s); !why.isEmpty()) { // said once
            if (std::exchange(notSetUp_, why) != why)
                log(Texts::AutoSyncStopped(why));
            return;
        }
        notSetUp_.clear();
        const AutoSync::Outcome o =
            AutoSync::Run(SyncPlan::FoldersOf(s), platform::SyncRun::By::Following);
        if (o.busy) { // tried again at the next look
            if (!std::exchange(saidBusy_, true))
                log(Texts::AutoSyncBusy());
            return;
        }
        saidBusy_ = false;
        const QString told = AutoSync::Told(o), failure = AutoSync::FailureOf(o);
        AutoSync::Ran(autoSync_, clock_.elapsed(), !failure.isEmpty());
        const bool moved = !o.summary.toNetwork.isEmpty() || !o.summary.toLocal.isEmpty();
        const bool newFailure = !failure.isEmpty() && failure != lastFailure_;
        const bool newWaiting =
            std::any_of(o.waiting.cbegin(), o.waiting.cend(),
                        [this](const QString& r) { return !lastWaiting_.contains(r); });
        lastFailure_ = failure;
        lastWaiting_ = o.waiting;
        if (!moved && !newFailure && !newWaiting)
            return;
        QStringList lines;
        for (const QString& line : {told, newFailure ? failure : QString()})
            if (!line.isEmpty())
                lines << line;
        const QString body = lines.join(u'\n');
        log(QString(body).replace(u'\n', u' '));
        const QString prefix = platform::WinePrefix();
        notifications_.show(QStringLiteral("sync"),
                            newFailure ? Texts::AutoSyncFailedTitle() : Texts::AutoSyncTitle(),
                            body, Texts::AutoSyncOpenWindow(),
                            [prefix] { OpenSynchronizeReports(prefix); });
    }

    // The share Setup > Office Share... connected, mounted again while it is
    // not (after a restart, or a network that came back) with the keyring's
    // password. Never asks: a drive set by hand meanwhile stays, and so does
    // a Disconnect.
    void remount() {
        if (clock_.elapsed() < nextMountMs_)
            return;
        const std::optional<OfficeShare::Result> tried = OfficeShare::Reconnect(LookAtSuite());
        if (!tried)
            return;
        const OfficeShare::Result& r = *tried;
        // A server that does not answer is tried again a while later.
        nextMountMs_ = r.ok ? 0 : clock_.elapsed() + kRemountMs;
        const QString before = std::exchange(mountFailure_, r.ok ? QString() : r.text);
        if (r.ok || r.text != before)
            log(r.text);
    }

    bool switchTo(bool toNetwork, SwitchTurn& turn) {
        SuiteState s;
        InitialiseSuite(s);
        const QString name = toNetwork ? QStringLiteral("NETWORK") : QStringLiteral("LOCAL");
        DirectorySet set = ReadStoredSet(s, name);
        set.APEXDATADIR.clear(); // never written
        // An empty set would write nothing and be tried again at every look.
        const QString why =
            set == DirectorySet{}
                ? QStringLiteral("[%1] is not set up in %2.").arg(name, s.SuiteIniPath)
                : SwitchFailureText(toNetwork ? SwitchToNetwork(s) : SwitchToLocal(s));
        memory_.seen = InForceName(SetInForce(LookAtSuite()));
        turn.release();
        if (why.isEmpty()) {
            tell(QStringLiteral("Suite on the %1 set").arg(name), ShareFollow::Switched(toNetwork));
            return true;
        }
        memory_.held = true;
        const QString text = ShareFollow::SwitchFailed(name, memory_.seen, why);
        log(QString(text)
                .replace(QStringLiteral("\n\n"), QStringLiteral(" "))
                .replace(u'\n', QStringLiteral("; ")));
        notifications_.show(QStringLiteral("switch"), QStringLiteral("Suite not switched"), text);
        return false;
    }

    void log(const QString& line) { out_ << line << Qt::endl; }
    void tell(const QString& summary, const QString& text) {
        log(text);
        notifications_.show(QStringLiteral("switch"), summary, text);
    }

    QTextStream& out_;
    QTextStream& err_;
    qint64 settleMs_;
    bool once_, sync_;
    bool noLock_ = false;
    static constexpr qint64 kRemountMs = 30000;
    qint64 nextMountMs_ = 0;
    QString mountFailure_; // said once until it changes
    QElapsedTimer clock_;
    ShareFollow::Memory memory_;
    std::optional<bool> lastReachable_;
    qint64 reachableSinceMs_ = 0;
    AutoSync::Memory autoSync_;
    bool saidBusy_ = false;
    QString notSetUp_;
    QString lastFailure_;     // told once until it changes
    QStringList lastWaiting_; // a report waiting is told once
    Notifications notifications_;
};

} // namespace

int Follow(const QStringList& args, QTextStream& out, QTextStream& err) {
    QCommandLineParser p;
    const QCommandLineOption once(QStringLiteral("once"));
    const QCommandLineOption noSync(QStringLiteral("no-sync"));
    const QCommandLineOption settleOption(QStringLiteral("settle"), QString(),
                                          QStringLiteral("seconds"), QStringLiteral("10"));
    p.addOptions({once, noSync, settleOption});
    bool number = false;
    const int settle = p.parse(args) ? p.value(settleOption).toInt(&number) : -1;
    if (!number || settle < 0 || !p.positionalArguments().isEmpty())
        return 2;

    const SuiteState s = LookAtSuite();
    const QString root = ShareFollow::ShareRoot(s.NetworkSet.QXADATADIR);
    if (root.isEmpty()) {
        err << "quarnctl: [NETWORK] QXADATADIR is not set in " << s.SuiteIniPath
            << ": there is no office share to follow\n";
        return 1;
    }
    const bool onlyOnce = p.isSet(once);
    Follower follower(out, err, onlyOnce ? 0 : settle * 1000LL, onlyOnce, !p.isSet(noSync));
    if (onlyOnce)
        return follower.look() ? 0 : 1;

    // A look at least every five seconds, and as often as the settling time
    // asks for, so a switch comes at most one interval after it is due.
    const int interval = std::clamp(settle, 1, 5);
    out << "Following the office share " << root << ": a look every " << interval
        << " s, a switch once it has come or gone for " << settle << " s." << Qt::endl;
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [&follower] { follower.look(); });
    // A share mounted or unmounted is looked at at once.
    std::unique_ptr<QSocketNotifier> mounts;
    if (const int fd = ::open("/proc/self/mountinfo", O_RDONLY | O_CLOEXEC); fd >= 0) {
        mounts = std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Exception);
        QObject::connect(mounts.get(), &QSocketNotifier::activated,
                         [&follower] { follower.look(); });
    }
    follower.look();
    timer.start(interval * 1000);
    return QEventLoop().exec();
}

} // namespace cli
