// A write is all or nothing: a writer killed at any moment, or stopped by a
// full disk, leaves the old file or the new one, whole.

#include "AtomicFile.h"
#include "TestPrefix.h"
#include "WPINI.h"

#include <QCoreApplication>
#include <QProcess>
#include <QRandomGenerator>
#include <QTest>

#include <csignal>
#include <cstdio>
#include <sys/resource.h>

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
int Writer() {
    for (int i = 1;; ++i) {
        WPINI::WriteIni(kFile, "Big", "Counter", QString::number(i).rightJustified(kDigits, u'0'));
        if (i == 1) {
            std::fputs("written\n", stdout); // the parent starts its clock here
            std::fflush(stdout);
        }
    }
}

int LimitedWriter(bool named) {
    platform::AtomicWriter::UseNamedTemporariesOnly(named);
    std::signal(SIGXFSZ, SIG_IGN);
    const rlimit limit{1024 * 1024, 1024 * 1024};
    setrlimit(RLIMIT_FSIZE, &limit);
    WPINI::WriteIni(kFile, "Big", "Huge", QString(2 * 1024 * 1024, u'x'));
    return 0;
}

QProcess* StartChild(const QString& mode) {
    auto* child = new QProcess;
    child->setProgram(QCoreApplication::applicationFilePath());
    child->setArguments({mode});
    child->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child->start();
    return child;
}

} // namespace

class TestAtomicWrite : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void killedWriterLeavesOldOrNew() {
        TestPrefix p;
        const QString host = p.driveC() + "/VALUATOR/BIG.INI";
        const QByteArray body = Body();
        const QByteArray first = kHead + QByteArray(kDigits, '0') + "\r\n" + body;
        p.write(host, first);

        int changed = 0;
        for (int round = 0; round < 25; ++round) {
            std::unique_ptr<QProcess> child(StartChild("--writer"));
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
        const QStringList left = TestPrefix::entries(p.driveC() + "/VALUATOR");
        if (left.size() > 1)
            qInfo() << "temporary files left by killed writers:" << left.size() - 1;
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
        return Writer();
    if (argc > 1 && qstrcmp(argv[1], "--limited") == 0)
        return LimitedWriter(false);
    if (argc > 1 && qstrcmp(argv[1], "--limited-named") == 0)
        return LimitedWriter(true);
    TestAtomicWrite test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_atomicwrite.moc"
