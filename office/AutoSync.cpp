#include "office/AutoSync.h"
#include "office/Texts.h"

#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/files/FileLock.h"
#include "platform/win/HostError.h"
#include "suite/CopyProcedure.h"

#include <QDateTime>

using SyncPlan::Action;
using SyncPlan::Row;
using SyncPlan::State;

namespace AutoSync {
namespace {

const QString kSection = QStringLiteral("SYNC");

QString Stored(const QString& suiteIni, const char* key) {
    return ModCommon::Trim(WPINI::ReadIni(suiteIni, kSection, QString::fromLatin1(key), QString()));
}

} // namespace

Settings Read(const QString& suiteIni) {
    Settings settings;
    // Anything but a plain 0 leaves it on: a typo must not stop it unseen.
    settings.automatic = Stored(suiteIni, "Automatic") != u"0";
    bool number = false;
    const int every = Stored(suiteIni, "Every").toInt(&number);
    if (number && every >= 0)
        settings.everyMinutes = every;
    return settings;
}

QString WriteAutomatic(const QString& suiteIni, bool on) {
    const platform::profile::Outcome done =
        WPINI::TryWriteIni(suiteIni, kSection, QStringLiteral("Automatic"),
                           on ? QStringLiteral("1") : QStringLiteral("0"));
    return done ? QString() : done.why;
}

bool MovesUnasked(const Row& row) {
    switch (row.state) {
    case State::OnlyLocal:
    case State::NewerLocal: return row.action == Action::ToNetwork;
    case State::OnlyNetwork:
    case State::NewerNetwork: return row.action == Action::ToLocal;
    default: return false;
    }
}

bool Due(Memory& m, bool reachable, bool switchedToNetwork, qint64 nowMs, const Settings& s) {
    if (!s.automatic) { // turned on again, the next look counts as the first
        m.reachable.reset();
        m.due = false;
        return false;
    }
    const bool cameBack = reachable && m.reachable != true;
    m.reachable = reachable;
    if (!reachable) {
        m.due = false;
        return false;
    }
    if (cameBack || switchedToNetwork)
        m.due = true;
    const qint64 since = m.lastRunMs >= 0 ? nowMs - m.lastRunMs : -1;
    const bool again =
        since >= 0 && ((s.everyMinutes > 0 && since >= qint64(s.everyMinutes) * 60 * 1000) ||
                       (m.failed && since >= kRetryMs));
    return m.due || again;
}

void Ran(Memory& m, qint64 nowMs, bool failed) {
    m.due = false;
    m.failed = failed;
    m.lastRunMs = nowMs;
}

Outcome Run(const SyncPlan::Folders& folders, platform::SyncRun::By by) {
    Outcome o;
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    {
        // Not beside a transfer or another synchronization: looked at alone,
        // then let go, as the run takes it with copies like every sync.
        platform::SharedLock transfer(CopyProcedure::TransferLockKey());
        if (!transfer.usable()) {
            o.stop = platform::ErrorDescription(platform::NoLockFolder);
            return o;
        }
        if (!transfer.tryLockAlone()) {
            o.busy = true;
            return o;
        }
    }
    platform::SyncRecord record(folders.pairKey());
    SyncPlan::Plan plan = SyncPlan::Make(folders, record);
    if (!plan.stop.isEmpty()) {
        o.stop = plan.stop;
        o.summary.failed << Synchronize::Failure{QString(), plan.stop};
    } else {
        for (Row& row : plan.rows)
            if (!MovesUnasked(row))
                row.action = Action::Nothing;
        o.summary = Synchronize::Run(folders, plan.rows, record);
        o.waiting = Synchronize::Waiting(plan.rows, o.summary);
        for (const Row& row : plan.rows)
            o.conflicts += o.waiting.contains(row.name) && row.state == State::Conflict;
    }
    record.addRun(Synchronize::Entry(o.summary, plan.rows, by, started));
    return o;
}

QString Told(const Outcome& o) {
    return Texts::AutoSyncTold(int(o.summary.toNetwork.size()), int(o.summary.toLocal.size()),
                               o.conflicts, int(o.waiting.size()) - o.conflicts);
}

QString FailureOf(const Outcome& o) {
    if (!o.stop.isEmpty())
        return Texts::AutoSyncStopped(o.stop);
    if (o.summary.failed.isEmpty())
        return {};
    const Synchronize::Failure& first = o.summary.failed.front();
    return Texts::AutoSyncFailed(int(o.summary.failed.size()), first.report, first.why);
}

} // namespace AutoSync
