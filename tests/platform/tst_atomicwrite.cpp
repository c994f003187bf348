// A write is all or nothing: a writer killed at any moment, or stopped by a
// full disk, leaves the old file or the new one, whole; writers in several
// processes take turns, and never undo a change another program made.

#include "platform/AtomicFile.h"
#include "platform/HostError.h"
#include "platform/ProfileStore.h"
#include "tests/support/TestPrefix.h"
#include "config/WPINI.h"

#include <QCoreApplication>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

#include <memory>
#include <vector>

namespace {

const QString kFile = QStringLiteral("C:\\VALUATOR\\BIG.INI");
const QByteArray kHead("[Big]\r\nCounter=");
constexpr int kDigits = 8;

QByteArray Body() {
    QByteArray body;
    for (int i = 0; body.size() < 3 * 1024 * 1024; ++i)
        body += "[Section" + QByteArray::number(i) + "]\r\nDataDir=C:\\SOME\\LONGER\\DIRECTORY\\NAME\\" +
                QByteArray::number(i) + "\r\n";
    return body;
}

// Child modes, run by re-starting this test program.
int Writer(bool named) {
    platform::AtomicWriter::UseNamedTemporariesOnly(named);
    for (int i = 1;; ++i) {
        WPINI::WriteIni(kFile, "Big", "Counter", QString::number(i).rightJustified(kDigits, u'0'));
        if (i == 1) {
            std::fputs("written\n", stdout); // the parent starts its clock here
            std::fflush(stdout);
        }
    }
}

// Sixty writes of its own key into one small file, as a script running
// `quarnctl ini set` would.
int Counter(const char* key) {
    for (int i = 1; i <= 60; ++i)
        if (!WPINI::TryWriteIni("C:\\VALUATOR\\SHARED.INI", "S", key, QString::number(i)))
            return 1;
    return 0;
}

int LimitedWriter(bool named) {
    platform::AtomicWriter::UseNamedTemporariesOnly(named);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024 * 1024, 1024 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    WPINI::WriteIni(kFile, "Big", "Huge", QString(2 * 1024 * 1024, u'x'));
    return 0;
}

QProcess* StartChild(const QString& mode, const QString& arg = {}) {
    auto* child = new QProcess;
    child->setProgram(QCoreApplication::applicationFilePath());
    child->setArguments({mode, arg});
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start();
    return child;
}

} // namespace

class TestAtomicWrite : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesOldOrNew_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("unnamed temporary") << "--writer";
        QTest::newRow("named temporary") << "--writer-named";
    }
    void killedWriterLeavesOldOrNew() {
        QFETCH(QString, mode);
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/BIG.INI";
        const QByteArray body = Body();
        const QByteArray first = kHead + QByteArray(kDigits, '0') + "\r\n" + body;
        p.write(host, first);

        int changed = 0;
        for (int round = 0; round < 25; ++round) {
            std::unique_ptr<QProcess> child(StartChild(mode));
            QVERIFY(child->waitForReadyRead(60000));
            QTest::qSleep(QRandomGenerator::global()->bounded(40));
            child->kill();
            QVERIFY(child->waitForFinished());

            const QByteArray now = TestPrefix::read(host);
            QCOMPARE(now.size(), first.size());
            QVERIFY(now.startsWith(kHead));
            QVERIFY(now.endsWith("\r\n" + body));
            bool digits = false;
            now.mid(kHead.size(), kDigits).toInt(&digits);
            QVERIFY(digits);
            changed += now != first;
        }
        QVERIFY2(changed > 0, "the writer never got a write through");
        // The next write clears what killed writers left.
        WPINI::WriteIni(kFile, "Big", "Counter", "00000000");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"BIG.INI"});
    }

    void writersTakeTurns() {
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/SHARED.INI", "[S]\r\n");
        std::vector<std::unique_ptr<QProcess>> children;
        for (const char* key : {"a", "b", "c", "d"})
            children.emplace_back(StartChild("--counter", key));
        for (auto& child : children) {
            QVERIFY(child->waitForFinished(60000));
            QCOMPARE(child->exitCode(), 0);
        }
        for (const char* key : {"a", "b", "c", "d"})
            QCOMPARE(WPINI::ReadIni("C:\\VALUATOR\\SHARED.INI", "S", key, "lost"), "60");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"SHARED.INI"});
    }

    void writerWaitsForItsTurnThenGivesUp() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini";
        p.write(host, "[Directories]\r\nDataDir=C:\\OLD\r\n");
        platform::FileLock::SetWaitMs(100);
        {
            platform::FileLock other(host);
            QCOMPARE(other.acquire(), 0);
            const auto done = WPINI::TryWriteIni("C:\\VALUATOR\\kav.ini", "Directories", "DataDir", "N:\\NEW");
            QVERIFY(!done);
            QCOMPARE(done.why, platform::ErrorDescription(platform::FileBusy));
            QCOMPARE(TestPrefix::read(host), QByteArray("[Directories]\r\nDataDir=C:\\OLD\r\n"));
        }
        platform::FileLock::SetWaitMs(5000);
        QVERIFY(WPINI::TryWriteIni("C:\\VALUATOR\\kav.ini", "Directories", "DataDir", "N:\\NEW"));
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"kav.ini"});
    }

    // Another program (the suite, an editor) changes the file between our
    // read and our rename, without taking turns: its change stays.
    void changeMadeMeanwhileIsKept_data() {
        QTest::addColumn<QByteArray>("theirs");
        QTest::newRow("replaced") << QByteArray("[Directories]\r\nDataDir=C:\\OLD\r\nPhotoDir=P:\\\r\n");
        QTest::newRow("same size, in place") << QByteArray("[Directories]\r\nDataDir=C:\\NEW\r\n");
    }
    void changeMadeMeanwhileIsKept() {
        QFETCH(QByteArray, theirs);
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini";
        p.write(host, "[Directories]\r\nDataDir=C:\\OLD\r\n");
        int calls = 0;
        platform::profile::SetBeforeReplace([&](const QString&) {
            if (calls++ == 0) {
                QFile f(host);
                QVERIFY(f.open(QIODevice::ReadWrite)); // in place: the same file
                f.resize(0);
                f.write(theirs);
            }
        });
        const bool done = bool(WPINI::TryWriteIni("C:\\VALUATOR\\kav.ini", "Directories", "AppDir", "C:\\KAV"));
        platform::profile::SetBeforeReplace({});
        QVERIFY(done);
        QCOMPARE(TestPrefix::read(host), theirs + "AppDir=C:\\KAV\r\n");
    }

    void fullDiskLeavesOldFile_data() {
        QTest::addColumn<QString>("mode");
        QTest::newRow("unnamed temporary") << "--limited";
        QTest::newRow("named temporary") << "--limited-named";
    }
    void fullDiskLeavesOldFile() {
        QFETCH(QString, mode);
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/BIG.INI";
        const QByteArray before = kHead + "1\r\n" + QByteArray(100 * 1024, ';') + "\r\n";
        p.write(host, before);
        std::unique_ptr<QProcess> child(StartChild(mode));
        QVERIFY(child->waitForFinished());
        QCOMPARE(TestPrefix::read(host), before);
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"BIG.INI"});
    }

    void namedTemporaryReplacesAndLeavesNothing() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/kav.ini";
        p.write(host, "[Directories]\r\nDataDir=C:\\OLD\r\n");
        platform::AtomicWriter::UseNamedTemporariesOnly(true);
        WPINI::WriteIni("C:\\VALUATOR\\kav.ini", "Directories", "DataDir", "N:\\NEW");
        platform::AtomicWriter::UseNamedTemporariesOnly(false);
        QCOMPARE(TestPrefix::read(host), QByteArray("[Directories]\r\nDataDir=N:\\NEW\r\n"));
        QCOMPARE(TestPrefix::entries(p.driveC() + "/VALUATOR"), QStringList{"kav.ini"});
    }
};

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc > 1 && qstrcmp(argv[1], "--writer") == 0)
        return Writer(false);
    if (argc > 1 && qstrcmp(argv[1], "--writer-named") == 0)
        return Writer(true);
    if (argc > 2 && qstrcmp(argv[1], "--counter") == 0)
        return Counter(argv[2]);
    if (argc > 1 && qstrcmp(argv[1], "--limited") == 0)
        return LimitedWriter(false);
    if (argc > 1 && qstrcmp(argv[1], "--limited-named") == 0)
        return LimitedWriter(true);
    TestAtomicWrite test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_atomicwrite.moc"
