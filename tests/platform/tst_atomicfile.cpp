// A write is all or nothing: a writer killed at any moment, or stopped by a
// full disk, leaves the old file or the new one, whole; writers in several
// processes take turns, and never undo a change another program made.

#include "config/WPINI.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileCopy.h"
#include "platform/files/FileLock.h"
#include "platform/profile/ProfileStore.h"
#include "platform/win/HostError.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <system_error>
#include <thread>

// Where the file system has no rename that refuses to replace (smbnetfs,
// an older kernel), renameat2 says so: the test's own definition stands in
// for the C library's when asked to.
static bool gNoReplaceUnsupported = false;
extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to,
                         unsigned flags) noexcept {
    if (gNoReplaceUnsupported) {
        errno = EINVAL;
        return -1;
    }
    return int(::syscall(SYS_renameat2, fromDir, from, toDir, to, flags));
}

const QString kBig = QStringLiteral("C:\\VALUATOR\\BIG.INI");
const QByteArray kHead("[Big]\r\nCounter=");

// The roles of this program started again as a child: "writer" and "full",
// each with "-named" for named temporaries, and "counter KEY".
static int Child(const QByteArray& role, const QString& key) {
    platform::AtomicWriter::UseNamedTemporariesOnly(role.endsWith("-named"));
    std::setvbuf(stdout, nullptr, _IONBF, 0);
    if (role == "nothreads") { // the user's process limit reached: no thread starts
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            return 3;
        const rlimit none{0, 0};
        setrlimit(RLIMIT_NPROC, &none);
        try {
            std::thread([] {}).join();
            return 4;
        } catch (const std::system_error&) {
        }
        qint64 heard = 0;
        const int err = platform::CopyFileAtomically(
            key + "/from", key + "/to", [&](qint64 done, qint64) { return (heard = done) >= 0; });
        ::_exit(err == 0 && heard == 3 << 20 ? 0 : 1); // a leak check at exit needs a thread too
    }
    for (int i = 1; role.startsWith("writer"); ++i)
        if (WPINI::WriteIni(kBig, "Big", "Counter", QString::number(i).rightJustified(8, u'0'));
            i == 1)
            std::puts("written"); // the parent starts its clock here
    // As a script running `quarnctl ini set` would.
    for (int i = 1; role == "counter"; ++i)
        if (i > 60 || !WPINI::TryWriteIni("C:\\VALUATOR\\SHARED.INI", "S", key, QString::number(i)))
            return i > 60 ? 0 : 1;
    std::signal(SIGXFSZ, SIG_IGN); // "full": the disk fills at 1 MiB
    const rlimit limit{1 << 20, 1 << 20};
    setrlimit(RLIMIT_FSIZE, &limit);
    WPINI::WriteIni(kBig, "Big", "Huge", QString(2 << 20, u'x'));
    return 0;
}

static std::unique_ptr<QProcess> StartChild(const QString& role, const QString& key = {}) {
    auto child = std::make_unique<QProcess>();
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start(QCoreApplication::applicationFilePath(), {"--child", role, key});
    return child;
}

class TestAtomicFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesOldOrNew_data() { AddCases("platform/killed_writer.txt"); }
    void killedWriterLeavesOldOrNew() {
        QFETCH(Row, row);
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/BIG.INI";
        const QByteArray body =
            QByteArray("[Section]\r\nDataDir=C:\\SOME\\LONGER\\DIRECTORY\\NAME\r\n")
                .repeated(70000);
        p.write(host, kHead + "00000000\r\n" + body);
        int changed = 0;
        for (int round = 0; round < 25; ++round) {
            const auto child = StartChild("writer" + row["named"]);
            QVERIFY(child->waitForReadyRead(60000));
            QTest::qSleep(QRandomGenerator::global()->bounded(40));
            child->kill();
            QVERIFY(child->waitForFinished());
            const QByteArray now = TestPrefix::read(host);
            const int counter = now.mid(kHead.size(), 8).toInt();
            QCOMPARE(now,
                     kHead + QByteArray::number(counter).rightJustified(8, '0') + "\r\n" + body);
            changed += counter > 0;
        }
        QVERIFY2(changed > 0, "the writer never got a write through");
        // The lock of a killed writer never stays beside the file.
        QVERIFY(!TestPrefix::entries(p.driveC() + "/VALUATOR").contains(".BIG.INI.lock"));
        WPINI::WriteIni(kBig, "Big", "Counter", "00000000"); // clears what killed writers left
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"BIG.INI"});
    }

    void writersTakeTurns() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/SHARED.INI";
        p.write(host, "[S]\r\n");
        std::vector<std::unique_ptr<QProcess>> children;
        for (const char* key : {"a", "b", "c", "d"})
            children.push_back(StartChild("counter", key));
        for (auto& child : children)
            QVERIFY(child->waitForFinished(60000) && child->exitCode() == 0);
        // One that cannot get its turn in time gives up and changes nothing.
        platform::FileLock::SetWaitMs(100);
        auto other = std::make_unique<platform::FileLock>(host);
        QCOMPARE(other->acquire(), 0);
        QCOMPARE(WPINI::TryWriteIni("C:\\VALUATOR\\SHARED.INI", "S", "a", "lost").why,
                 platform::ErrorDescription(platform::FileBusy));
        other.reset();
        platform::FileLock::SetWaitMs(5000);
        platform::AtomicWriter::UseNamedTemporariesOnly(true);
        WPINI::WriteIni("C:\\VALUATOR\\SHARED.INI", "S", "e", "1");
        platform::AtomicWriter::UseNamedTemporariesOnly(false);
        for (const char* key : {"a", "b", "c", "d", "e"})
            QCOMPARE(WPINI::ReadIni("C:\\VALUATOR\\SHARED.INI", "S", key, "lost"),
                     key == QByteArray("e") ? "1" : "60");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"SHARED.INI"});
    }

    // Another program (the suite, an editor) changes the file in place
    // between our read and our rename, without taking turns: its change stays.
    void changeMadeMeanwhileIsKept() {
        // The second is the same size as the first text.
        for (const QByteArray theirs : {"[Directories]\r\nDataDir=C:\\OLD\r\nPhotoDir=P:\\\r\n",
                                        "[Directories]\r\nDataDir=C:\\NEW\r\n"}) {
            TestPrefix p;
            const QString host = p.driveC() + "/VALUATOR/kav.ini";
            p.write(host, "[Directories]\r\nDataDir=C:\\OLD\r\n");
            int calls = 0;
            QByteArray ours; // the new text, when the comparison is made
            platform::profile::SetBeforeReplace([&](const QString&) {
                ours = TestPrefix::read(p.driveC() + "/VALUATOR/.kav.ini.quarn.tmp");
                calls++ == 0 ? p.write(host, theirs) : void();
            });
            WPINI::WriteIni("C:\\VALUATOR\\kav.ini", "Directories", "AppDir", "C:\\KAV");
            platform::profile::SetBeforeReplace({});
            QCOMPARE(TestPrefix::read(host), theirs + "AppDir=C:\\KAV\r\n");
            QCOMPARE(ours, TestPrefix::read(host)); // compared once ours was flushed, not before
        }
    }

    // One that keeps changing it wins: after the retries the write gives up.
    void changesThatNeverStopAreKept() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini";
        p.write(host, "[Directories]\r\nDataDir=C:\\OLD\r\n");
        int calls = 0;
        platform::profile::SetBeforeReplace([&](const QString&) {
            p.write(host,
                    "[Directories]\r\nDataDir=C:\\THEIRS" + QByteArray::number(++calls) + "\r\n");
        });
        const auto done =
            WPINI::TryWriteIni("C:\\VALUATOR\\kav.ini", "Directories", "AppDir", "C:\\KAV");
        platform::profile::SetBeforeReplace({});
        QCOMPARE(done.why, u"The file is busy: another program kept changing it");
        QCOMPARE(TestPrefix::read(host),
                 "[Directories]\r\nDataDir=C:\\THEIRS" + QByteArray::number(calls) + "\r\n");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"kav.ini"});
    }

    // A file with a second name (a hard link from the Windows directory) is
    // written in place: both names see the change, and nothing is left beside;
    // a link planted where its old text waits is not written through.
    void hardLinkedFileStaysOneFile() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini",
                      other = p.driveC() + "/windows/kav.ini";
        p.write(host, "[Directories]\r\nDataDir=N:\\QXDATA\\LONGER\r\nPhotoDir=P:\r\n");
        QCOMPARE(::link(QFile::encodeName(host).constData(), QFile::encodeName(other).constData()),
                 0);
        // A link planted where the old text waits is replaced, not written through.
        p.write(p.at("victim"), "mine");
        QVERIFY(QFile::link(p.at("victim"), p.driveC() + "/VALUATOR/.kav.ini.quarn.old"));
        // It shrinks, then grows.
        for (const char* dir : {"C:\\D", "C:\\QXDATA\\A\\MUCH\\LONGER\\DIRECTORY"}) {
            QVERIFY(WPINI::TryWriteIni("C:\\VALUATOR\\kav.ini", "Directories", "DataDir", dir));
            const QByteArray want =
                "[Directories]\r\nDataDir=" + QByteArray(dir) + "\r\nPhotoDir=P:\r\n";
            QCOMPARE(TestPrefix::read(host), want);
            QCOMPARE(TestPrefix::read(other), want);
        }
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"kav.ini"});
        QCOMPARE(TestPrefix::read(p.at("victim")), "mine");
    }

    // Locks live in a folder of this user's that nobody else can write:
    // $XDG_RUNTIME_DIR, else quarn-UID in the temporary folder. Where neither
    // is safe the write is refused rather than made unlocked.
    void lockFolder_data() { AddCases("platform/lock_folders.txt"); }
    void lockFolder() {
        QFETCH(Row, row);
        const QString runtime = row["runtime"], fallback = row["fallback"], used = row["used"];
        if (QFileInfo::exists("/run/user/" + QString::number(::geteuid())))
            QSKIP("the session's runtime folder stands in for an unset one");
        TestPrefix p;
        const QString uid = QString::number(::geteuid());
        p.makeDir(p.at("tmp"));
        const auto make = [&p](const QString& path, const QString& how) {
            p.makeDir(how == "link" ? p.at("elsewhere") : path);
            if (how == "link")
                return QFile::link(p.at("elsewhere"), path);
            return ::chmod(QFile::encodeName(path).constData(), how == "open" ? 0777 : 0700) == 0 &&
                   (how != "other's" || GiveAway(path));
        };
        if ((!runtime.isEmpty() && !make(p.at("run"), runtime)) ||
            (!fallback.isEmpty() && !make(p.at("tmp/quarn-" + uid), fallback)))
            QSKIP("another user's folder needs root");
        const ScopedEnv dirs(
            {{"XDG_RUNTIME_DIR", runtime.isEmpty() ? "" : p.at("run")}, {"TMPDIR", p.at("tmp")}});
        const QString folder =
            used.isEmpty() ? QString() : p.at(used == "runtime" ? "run" : "tmp/quarn-" + uid);
        QCOMPARE(platform::PrivateRuntimeFolder(), folder);

        const QString host = p.driveC() + "/VALUATOR/A.INI";
        p.write(host, "[s]\r\n");
        {
            platform::FileLock lock(host);
            QCOMPARE(lock.acquire(), folder.isEmpty() ? platform::NoLockFolder : platform::NoError);
            QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"A.INI"});
            if (!folder.isEmpty())
                QCOMPARE(TestPrefix::entries(folder + "/quarn-locks").size(), 1);
        }
        QCOMPARE(WPINI::TryWriteIni("C:\\VALUATOR\\A.INI", "s", "k", "v").why,
                 folder.isEmpty() ? platform::ErrorDescription(platform::NoLockFolder) : QString());
        platform::SharedLock transfer(QStringLiteral("transfer"));
        QCOMPARE(transfer.lockShared(),
                 folder.isEmpty() ? platform::NoLockFolder : platform::NoError);
        transfer.unlock();
        QCOMPARE(transfer.tryLockAlone(), !folder.isEmpty());
        transfer.unlock();
        if (folder.isEmpty()) { // whose lock it is cannot be told: a temporary stays
            const QString temp = p.driveC() + "/VALUATOR/.A.INI.quarn.tmp";
            p.write(temp, "cut off");
            const timespec old[2] = {{1, 0}, {1, 0}};
            QCOMPARE(::utimensat(AT_FDCWD, QFile::encodeName(temp).constData(), old, 0), 0);
            platform::RemoveLeftovers(p.driveC() + "/VALUATOR");
            QVERIFY(QFile::exists(temp));
            return;
        }
        // A lock that cannot be opened is not one held.
        const QString held =
            folder + "/quarn-locks/" + TestPrefix::entries(folder + "/quarn-locks").value(0);
        QVERIFY(QFile::remove(held));
        p.makeDir(held);
        QVERIFY(transfer.lockShared() != platform::NoError);
        QVERIFY(!transfer.tryLockAlone());
    }

    // The copy falls back to the calling thread, which must not wait for itself.
    void copyWithNoThreadToSpare() {
        QTemporaryDir dir;
        QVERIFY(::chmod(QFile::encodeName(dir.path()).constData(), 0777) == 0);
        const QByteArray bytes(3 << 20, 'r');
        TestPrefix::write(dir.path() + "/from", bytes);
        const auto child = StartChild("nothreads", dir.path());
        QVERIFY2(child->waitForFinished(20000), "the copy hangs");
        if (child->exitCode() == 4)
            QSKIP("threads still start under a process limit of 0 here");
        QCOMPARE(child->exitCode(), 0);
        QCOMPARE(TestPrefix::read(dir.path() + "/to"), bytes);
        QCOMPARE(TestPrefix::entries(dir.path()), (QStringList{"from", "to"}));
    }

    // A source saved again in place while it is copied: no mix of its two
    // versions reaches the target, which stays as it was.
    void sourceSavedDuringCopy() {
        QTemporaryDir dir;
        const QString from = dir.path() + "/from", to = dir.path() + "/to";
        TestPrefix::write(from, QByteArray(24 << 20, 'a'));
        TestPrefix::write(to, "the old target");
        const timespec past[2] = {{0, UTIME_OMIT}, {1700000000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(from).constData(), past, 0) == 0);
        bool saved = false;
        const int err = platform::CopyFileAtomically(from, to, [&](qint64 done, qint64 total) {
            QFile source(from);
            if (!saved && done < total && source.open(QIODevice::ReadWrite))
                saved = source.write("b") == 1;
            return true;
        });
        QVERIFY(saved);
        QCOMPARE(err, int(platform::DeviceIOError));
        QCOMPARE(TestPrefix::read(to), "the old target");
        QCOMPARE(TestPrefix::entries(dir.path()), (QStringList{"from", "to"}));
    }

    // The target saved by another during the copy: that save stays.
    void targetSavedDuringCopy() {
        QTemporaryDir dir;
        const QString from = dir.path() + "/from", to = dir.path() + "/to";
        TestPrefix::write(from, QByteArray(24 << 20, 'a'));
        TestPrefix::write(to, "the old target");
        bool saved = false;
        const int err = platform::CopyFileAtomically(from, to, [&](qint64, qint64) {
            if (!saved)
                TestPrefix::write(to, "saved by the office meanwhile");
            return saved = true;
        });
        QVERIFY(saved);
        QCOMPARE(err, int(platform::TargetChanged));
        QCOMPARE(TestPrefix::read(to), "saved by the office meanwhile");
        QCOMPARE(TestPrefix::entries(dir.path()), (QStringList{"from", "to"}));
    }

    // A copy told its target was not there: one that turns up, before the
    // copy or during it (a colleague's new report of that name), stays, also
    // where the rename cannot refuse to replace.
    void newTargetThatTurnsUpStays() {
        for (const bool unsupported : {false, true})
            for (const bool atStart : {false, true}) {
                gNoReplaceUnsupported = unsupported;
                QTemporaryDir dir;
                const QString from = dir.path() + "/from", to = dir.path() + "/to";
                TestPrefix::write(from, QByteArray(3 << 20, 'a'));
                if (atStart)
                    TestPrefix::write(to, "there already");
                const int err = platform::CopyFileAtomically(
                    from, to,
                    [&](qint64, qint64) {
                        if (!QFile::exists(to))
                            TestPrefix::write(to, "there already");
                        return true;
                    },
                    {}, true);
                gNoReplaceUnsupported = false;
                QCOMPARE(err, int(platform::TargetChanged));
                QCOMPARE(TestPrefix::read(to), "there already");
                QCOMPARE(TestPrefix::entries(dir.path()), (QStringList{"from", "to"}));
                QCOMPARE(platform::CopyFileAtomically(from, dir.path() + "/new", {}, {}, true), 0);
                QCOMPARE(TestPrefix::read(dir.path() + "/new"), QByteArray(3 << 20, 'a'));
            }
    }

    // The copy keeps its source's time to the nanosecond, also one before
    // 1970 and one past 2262 (2300).
    void copyKeepsItsTime() {
        QTemporaryDir dir;
        const QString from = dir.path() + "/from", to = dir.path() + "/to";
        QVERIFY(QFile(from).open(QIODevice::WriteOnly));
        for (const timespec time :
             {timespec{-86400, 250000000}, timespec{10413792000, 123456789}}) {
            const timespec times[2] = {{0, 0}, time};
            if (::utimensat(AT_FDCWD, QFile::encodeName(from).constData(), times, 0) != 0 ||
                Stat(from).st_mtim.tv_sec != time.tv_sec)
                QSKIP("the file system holds no time past 2262");
            QCOMPARE(platform::CopyFileAtomically(from, to), 0);
            QCOMPARE(qint64(Stat(to).st_mtim.tv_sec), qint64(time.tv_sec));
            QCOMPARE(qint64(Stat(to).st_mtim.tv_nsec), qint64(time.tv_nsec));
        }
    }

    void fullDiskLeavesOldFile_data() { AddCases("platform/full_disk.txt"); }
    void fullDiskLeavesOldFile() {
        QFETCH(Row, row);
        const QString named = row["named"];
        TestPrefix p;
        const QByteArray before = kHead + "1\r\n" + QByteArray(100 * 1024, ';') + "\r\n";
        p.write(p.driveC() + "/VALUATOR/BIG.INI", before);
        if (named == "-linked")
            QCOMPARE(::link(QFile::encodeName(p.driveC() + "/VALUATOR/BIG.INI").constData(),
                            QFile::encodeName(p.driveC() + "/BIG.INI").constData()),
                     0);
        QVERIFY(StartChild("full" + named)->waitForFinished());
        QCOMPARE(TestPrefix::read(p.driveC() + "/VALUATOR/BIG.INI"), before);
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"BIG.INI"});
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 3 && qstrcmp(argv[1], "--child") == 0)
        return Child(argv[2], QString::fromLatin1(argv[3]));
    TestAtomicFile test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_atomicfile.moc"
