// The share's report lock: one holder at a time across computers, a dead
// holder of this computer's taken over, a stale one broken only while it is
// still that lock, and another's lock never removed or written through.

#include "platform/files/ShareLock.h"
#include "platform/win/HostError.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QCoreApplication>
#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

using platform::ShareLock;
using Take = ShareLock::Take;

static QString Iso(qint64 agoSeconds) {
    return QDateTime::currentDateTimeUtc().addSecs(-agoSeconds).toString(Qt::ISODate);
}

static qint64 EndedPid() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    ::waitpid(pid, nullptr, 0);
    return pid;
}

// A share without hard links, as GVfs's and rclone's folders are: link()
// fails there. The test's own definition stands in for the C library's.
static bool gNoHardLinks = false;
extern "C" int link(const char* from, const char* to) noexcept {
    if (gNoHardLinks) {
        errno = ENOSYS;
        return -1;
    }
    return ::linkat(AT_FDCWD, from, AT_FDCWD, to, 0);
}

static void Age(const QString& path, qint64 seconds) {
    const timespec times[2] = {{0, UTIME_OMIT}, {::time(nullptr) - seconds, 0}};
    QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(path).constData(), times,
                        AT_SYMLINK_NOFOLLOW) == 0);
}

class TestShareLock : public QObject {
    Q_OBJECT

    QTemporaryDir dir_, runtime_; // what this computer saw is kept in the runtime folder
    QString lockPath() const { return dir_.path() + "/.quarn-locks/SMITH.RPT.lock"; }
    QByteArray lockText() const { return TestPrefix::read(lockPath()); }
    QStringList lockFolder() const { return TestPrefix::entries(dir_.path() + "/.quarn-locks"); }

private Q_SLOTS:
    void initTestCase() { qputenv("XDG_RUNTIME_DIR", QFile::encodeName(runtime_.path())); }

    void init() {
        QDir(dir_.path()).removeRecursively();
        QDir().mkpath(dir_.path());
        ShareLock::SetStaleSecondsForTest(120);
    }

    void oneHolderAtATime() {
        // The office's other users lock in the folder this user makes.
        QFile::setPermissions(dir_.path(), QFileDevice::Permissions(0x7777));
        ShareLock a(dir_.path(), "SMITH.RPT"), b(dir_.path(), "SMITH.RPT");
        QCOMPARE(a.take(), Take::Taken);
        QCOMPARE(QFileInfo(dir_.path() + "/.quarn-locks").permissions(),
                 QFileDevice::Permissions(0x7777));
        QCOMPARE(b.take(), Take::HeldByOther);
        QCOMPARE(b.holder().user, platform::UserName());
        QCOMPARE(b.holder().computer, platform::ComputerName());
        QCOMPARE(b.holder().pid, QCoreApplication::applicationPid());
        QCOMPARE(b.holder().since, a.holder().since);
        QVERIFY(!b.stale());
        QCOMPARE(ShareLock(dir_.path(), "JONES.RPT").take(), Take::Taken); // another report
        a.release();
        QCOMPARE(b.take(), Take::Taken);
        QCOMPARE(lockFolder(), QStringList{"SMITH.RPT.lock"});

        ShareLock nowhere(dir_.path() + "/missing", "SMITH.RPT");
        QCOMPARE(nowhere.take(), Take::Failed);
        QCOMPARE(nowhere.error(), int(platform::PathNotFound));
    }

    void whatTakeFinds_data() { AddCases("platform/share_locks.txt"); }
    void whatTakeFinds() {
        QFETCH(Row, row);
        ShareLock::SetStaleSecondsForTest(row["staleAfter"].toInt());
        const QString text = row["text"]
                                 .replace("{this}", platform::ComputerName())
                                 .replace("{machine}", platform::MachineId())
                                 .replace("{ended}", QString::number(EndedPid()))
                                 .replace("{live}", QString::number(::getpid()))
                                 .replace("{now}", Iso(0))
                                 .replace("{old}", Iso(200));
        TestPrefix::write(lockPath(), text.toUtf8());
        Age(lockPath(), row["age"].toLongLong());
        ShareLock lock(dir_.path(), "SMITH.RPT");
        QCOMPARE(lock.take(), row["take"] == "taken" ? Take::Taken : Take::HeldByOther);
        QCOMPARE(lock.stale(), row["stale"] == "yes");
        if (lock.held())
            QVERIFY(lockText().startsWith("user=" + platform::UserName().toUtf8()));
        else
            QCOMPARE(lockText(), text.toUtf8());
    }

    void breakStaleOnlyThatLock_data() { AddCases("platform/stale_breaks.txt"); }
    void breakStaleOnlyThatLock() {
        QFETCH(Row, row);
        ShareLock::SetStaleSecondsForTest(1);
        gNoHardLinks = row["links"] == "none";
        const auto links = qScopeGuard([] { gNoHardLinks = false; });
        const QByteArray stale = "user=ann\ncomputer=OTHER-PC\npid=7\nsince=" + Iso(300).toUtf8() +
                                 "\nrenewed=" + Iso(200).toUtf8() + "\n";
        TestPrefix::write(lockPath(), stale);
        ShareLock ours(dir_.path(), "SMITH.RPT"), third(dir_.path(), "SMITH.RPT");
        QCOMPARE(ours.take(), Take::HeldByOther);
        QTest::qSleep(1100);
        QCOMPARE(ours.take(), Take::HeldByOther);
        QCOMPARE(third.take(), Take::HeldByOther);
        QVERIFY(ours.stale());
        QByteArray holders = "user=ann\ncomputer=OTHER-PC\npid=7\nsince=" + Iso(300).toUtf8() +
                             "\nrenewed=" + Iso(0).toUtf8() + "\n";
        if (row["meanwhile"] == "renewed")
            TestPrefix::write(lockPath(), holders);
        if (row["meanwhile"] == "broken")
            QCOMPARE(third.breakStale(), Take::Taken);
        if (row["meanwhile"] == "released")
            QFile::remove(lockPath());

        QCOMPARE(ours.breakStale(), row["result"] == "taken" ? Take::Taken : Take::HeldByOther);
        QCOMPARE(lockFolder(), QStringList{"SMITH.RPT.lock"}); // nothing set aside stays
        const QString left = row["left"];
        QCOMPARE(ours.held(), left == "ours");
        QCOMPARE(third.held(), left == "third's");
        if (left == "holder's")
            QCOMPARE(lockText(), holders);
        if (!ours.held())
            QVERIFY(!ours.stale()); // it now knows the fresh one
        third.release();
        ours.release();
        QCOMPARE(lockFolder().isEmpty(), left != "holder's");
    }

    // Another laptop's clock, days ahead or behind, says nothing here: a
    // lock is stale once this computer has seen it unchanged for the stale
    // time by its own clock, across the lock objects and runs of its retries.
    void clocksOfOtherLaptops() {
        ShareLock::SetStaleSecondsForTest(1);
        const QStringList names{"AHEAD.RPT", "BEHIND.RPT"};
        for (const QString& name : names) {
            const qint64 ago = name == "AHEAD.RPT" ? -3 * 86400 : 3 * 86400;
            TestPrefix::write(dir_.path() + "/.quarn-locks/" + name + ".lock",
                              "user=ann\ncomputer=OTHER-PC\npid=7\nsince=" +
                                  Iso(ago + 60).toUtf8() + "\nrenewed=" + Iso(ago).toUtf8() + "\n");
            // First seen by an earlier run (of quarnctl, say) for one of them.
            const pid_t run = name == "AHEAD.RPT" ? ::fork() : 0;
            if (run == 0) {
                ShareLock first(dir_.path(), name);
                const bool ok = first.take() == Take::HeldByOther && !first.stale();
                if (name == "AHEAD.RPT")
                    ::_exit(ok ? 0 : 1);
                QVERIFY2(ok, qPrintable(name));
            }
            int status = -1;
            QVERIFY(run == 0 || (::waitpid(run, &status, 0) == run && status == 0));
        }
        QTest::qSleep(1100);
        for (const QString& name : names) {
            ShareLock again(dir_.path(), name);
            QCOMPARE(again.take(), Take::HeldByOther);
            QVERIFY2(again.stale(), qPrintable(name));
            QCOMPARE(again.breakStale(), Take::Taken);
        }
    }

    // A holder that keeps renewing is never stale, however its renewals
    // fall on its clock's seconds.
    void aRenewingHolderIsNeverStale() {
        ShareLock::SetStaleSecondsForTest(1);
        ShareLock holder(dir_.path(), "SMITH.RPT"), other(dir_.path(), "SMITH.RPT");
        QCOMPARE(holder.take(), Take::Taken);
        for (int round = 0; round < 6; ++round) {
            QCOMPARE(other.take(), Take::HeldByOther);
            QVERIFY(!other.stale());
            QTest::qSleep(300);
            QVERIFY(holder.renew());
        }
    }

    void aFreshLockIsNotBroken() {
        TestPrefix::write(lockPath(), "user=ann\ncomputer=OTHER-PC\npid=7\nsince=" +
                                          Iso(0).toUtf8() + "\nrenewed=" + Iso(0).toUtf8() + "\n");
        const QByteArray before = lockText();
        ShareLock lock(dir_.path(), "SMITH.RPT");
        QCOMPARE(lock.take(), Take::HeldByOther);
        QCOMPARE(lock.breakStale(), Take::HeldByOther);
        QCOMPARE(lockText(), before);
    }

    void renewedAndLost() {
        ShareLock::SetStaleSecondsForTest(0); // renewed at every call
        ShareLock ours(dir_.path(), "SMITH.RPT");
        QCOMPARE(ours.take(), Take::Taken);
        QTest::qSleep(1100);
        QVERIFY(ours.renew());
        QVERIFY(ours.renew()); // within the same second of its clock: still a change
        ShareLock other(dir_.path(), "SMITH.RPT");
        QCOMPARE(other.take(), Take::HeldByOther);
        QVERIFY(other.holder().renewed > other.holder().since);
        QCOMPARE(other.holder().count, 2);
        // A renewal written after its bound gave up on it is still ours, and
        // goes at the release.
        const QByteArray later = QByteArray(lockText()).replace("count=2", "count=3");
        TestPrefix::write(lockPath(), later);
        QVERIFY(ours.renew() && ours.held());
        ours.release();
        QVERIFY(!QFile::exists(lockPath()));
        QCOMPARE(ours.take(), Take::Taken);
        // Broken and taken by another while this one slept: ours no longer.
        const QByteArray theirs = "user=bob\ncomputer=OTHER-PC\npid=9\nsince=" + Iso(0).toUtf8() +
                                  "\nrenewed=" + Iso(0).toUtf8() + "\n";
        TestPrefix::write(lockPath(), theirs);
        QVERIFY(!ours.renew());
        QVERIFY(!ours.held());
        ours.release();
        QCOMPARE(lockText(), theirs);
        {
            ShareLock again(dir_.path(), "SMITH.RPT");
            QCOMPARE(again.take(), Take::HeldByOther);
        }
        QCOMPARE(lockText(), theirs);
        for (const bool link : {false, true}) { // broken by another: gone, or a link there
            ShareLock jones(dir_.path(), "JONES.RPT");
            QCOMPARE(jones.take(), Take::Taken);
            const QString at = dir_.path() + "/.quarn-locks/JONES.RPT.lock";
            QVERIFY(QFile::remove(at) && (!link || QFile::link(dir_.path() + "/elsewhere", at)));
            QVERIFY(!jones.renew());
        }
    }

    void aLinkAtTheLockIsNotFollowed() {
        const QString victim = dir_.path() + "/victim";
        TestPrefix::write(victim, "precious");
        TestPrefix::makeDir(dir_.path() + "/.quarn-locks");
        QVERIFY(QFile::link(victim, lockPath()));
        QVERIFY(QFile::link(dir_.path() + "/made", dir_.path() + "/.quarn-locks/JONES.RPT.lock"));
        ShareLock lock(dir_.path(), "SMITH.RPT"), jones(dir_.path(), "JONES.RPT");
        QCOMPARE(jones.take(), Take::HeldByOther);
        QVERIFY(!QFile::exists(dir_.path() + "/made"));
        ShareLock::SetStaleSecondsForTest(1);
        QCOMPARE(lock.take(), Take::HeldByOther);
        QVERIFY(!lock.stale());
        QTest::qSleep(1100);
        QCOMPARE(lock.take(), Take::HeldByOther);
        QVERIFY(lock.stale());
        QCOMPARE(lock.breakStale(), Take::Taken);
        QVERIFY(!QFileInfo(lockPath()).isSymLink());
        QCOMPARE(TestPrefix::read(victim), QByteArray("precious"));
    }
};

QTEST_GUILESS_MAIN(TestShareLock)
#include "tst_sharelock.moc"
