// The copy procedure on a prefix: the runs in copy_runs.txt (every direction
// and sketch rule, the boxes in their order, the files after), the names in
// copy_names.txt, and the copies that must not lose or tear a file.

#include "platform/files/FileLock.h"
#include "platform/files/KeptVersions.h"
#include "platform/win/HostError.h"
#include "suite/CopyProcedure.h"
#include "suite/Texts.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/StoppedShare.h"
#include "tests/support/TestPrefix.h"

#include <QDir>
#include <QFileInfo>
#include <QTest>

#include <optional>

#include <sys/stat.h>
#include <unistd.h>

using namespace CopyProcedure;
using platform::Answer;

static Quarn_v2::DirectorySet Set(const QString& root) {
    Quarn_v2::DirectorySet s;
    s.QXADATADIR = root;
    s.QXSDATADIR = root + "\\S";
    s.APEXDATADIR = root + "\\X";
    return s;
}

// The Settings dialog's check, passed.
const auto kChecked = [] { return true; };

static QStringList List(const QString& field) {
    return field == u"-" ? QStringList() : field.split(u';');
}

class TestCopyProcedure : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runs_data() { AddCases("suite/copy_runs.txt", "name"); }
    void runs() {
        QFETCH(Row, row);
        const QStringList messages = row.rest("boxes");
        TestPrefix p;
        for (const char* dir : {"prefix/drive_c/L/data", "prefix/drive_c/L/S", "prefix/drive_c/L/X",
                                "prefix/drive_c/W", "second/N/data", "second/N/S", "second/N/X"})
            p.makeDir(p.at(dir));
        ::umask(022);
        std::optional<StoppedShare> stopped;
        for (const QString& f : List(row["before"])) {
            const QString path = p.at(f.section(u'=', 0, 0).section(u'@', 0, 0));
            if (f.endsWith(u'!'))
                stopped.emplace(QStringList{p.at(f.chopped(1))});
            else if (f.contains("->"))
                QVERIFY(QFile::link(p.at(f.section("->", 1)), p.at(f.section("->", 0, 0))));
            else
                p.write(path, f.section(u'=', 1).toUtf8());
            if (const QString mode = f.section(u'=', 0, 0).section(u'@', 1); !mode.isEmpty())
                QVERIFY(::chmod(QFile::encodeName(path).constData(), mode.toUInt(nullptr, 8)) == 0);
        }
        QVERIFY(QFile::link(p.driveD() + "/N/data", p.driveC() + "/LINK"));
        ScriptedPrompter script(row["answers"]);
        auto local = Set("C:\\L"), network = Set("D:\\N");
        QDir::setCurrent(p.driveC() + "/W");
        Inputs in{row["to"] == u"network" ? Direction::LocalToNetwork : Direction::NetworkToLocal,
                  QString(), row["folder"], Sketch(row["sketch"].toInt())};
        Outcome out;
        for (const QString& r : row["report"].split(u'|')) {
            in.report = r.startsWith(u'/') ? p.at(r.mid(1)) : r;
            out = Run(in, kChecked, local, network);
        }
        QDir::setCurrent(QDir::tempPath());
        if (stopped) {
            QCOMPARE(stopped->askedHere(), 0); // the window would have frozen
            QVERIFY(stopped->answer());
        }
        QStringList shown;
        for (const auto& m : script.shown()) {
            shown << m.text;
            // Questions have Yes and No, a disk's trouble Abort, Retry and
            // Ignore, notices OK alone.
            const bool question = m.text.contains("Are you sure") || !m.text.contains(' ');
            const bool disk = m.text.contains("\r\nError # ");
            QCOMPARE(m.buttons, disk       ? platform::Buttons::AbortRetryIgnore
                                : question ? platform::Buttons::YesNo
                                           : platform::Buttons::Ok);
            QCOMPARE(m.title, disk ? u"Error" : u"Quarn");
        }
        QCOMPARE(shown, messages);
        QCOMPARE(script.pending(), 0); // every question was asked
        QCOMPARE(out.checked, !row["folder"].trimmed().isEmpty());
        QCOMPARE(out.errorReported, messages.last().startsWith("Error encountered") ||
                                        messages.last().startsWith("The report \""));
        for (const QString& f : List(row["after"])) {
            const QString path = p.at(f.section(u'=', 0, 0).section(u'@', 0, 0));
            QCOMPARE(QFileInfo::exists(path) ? QString::fromUtf8(TestPrefix::read(path)) : "-",
                     f.section(u'=', 1));
            if (const QString mode = f.section(u'=', 0, 0).section(u'@', 1); !mode.isEmpty())
                QCOMPARE(Stat(path).st_mode & 07777, mode.toUInt(nullptr, 8));
        }
    }

    void names_data() { AddCases("suite/copy_names.txt", "name"); }
    void names() {
        QFETCH(Row, row);
        const QString report = row["report"], target = row["target"];
        QCOMPARE(NameRefusal(report).isEmpty(), target != u"-");
        if (target != u"-") {
            QCOMPARE(ReportTargetName(report), target);
            QCOMPARE(SketchFileName(report, Sketch::Plandraw32), row["sketch"]);
        }
    }

    void aCancelLeavesTheOldTarget() {
        TestPrefix p;
        const QByteArray report(3 << 20, 'n');
        p.write(p.driveC() + "/L/data/SMITH.RPT", report);
        p.write(p.driveD() + "/N/data/SMITH.RPT", "old");
        ScriptedPrompter script({Answer::Yes, Answer::Yes});
        auto local = Set("C:\\L"), network = Set("D:\\N");
        const Inputs in{Direction::LocalToNetwork, "C:\\L\\data\\SMITH.RPT", "D:\\N\\data"};
        // Cancelled: not copied, no success, the old file whole, no litter.
        // All the while a switch of the sets cannot take the transfer lock.
        const auto switchCanLock = [] {
            return platform::SharedLock(CopyProcedure::TransferLockKey()).tryLockAlone();
        };
        bool lockedOut = false;
        Outcome out = Run(in, kChecked, local, network, [&](auto&&...) {
            lockedOut = !switchCanLock();
            return false;
        });
        QVERIFY(!out.copied && !out.errorReported);
        QVERIFY(lockedOut && switchCanLock());
        QCOMPARE(TestPrefix::read(p.driveD() + "/N/data/SMITH.RPT"), QByteArray("old"));
        // The share's lock folder stays for the next copy; the lock is let go.
        QCOMPARE(TestPrefix::entries(p.driveD() + "/N/data"),
                 QStringList({".quarn-locks", "SMITH.RPT"}));
        QCOMPARE(TestPrefix::entries(p.driveD() + "/N/data/.quarn-locks"), QStringList());
        out = Run(in, kChecked, local, network);
        QVERIFY(out.copied);
        QVERIFY(TestPrefix::read(p.driveD() + "/N/data/SMITH.RPT") == report);

        // No private folder for the transfer lock: refused, not copied unlocked.
        const ScopedEnv dirs({{"XDG_RUNTIME_DIR", ""}, {"TMPDIR", p.root()}});
        if (!GiveAway(p.at("quarn-" + QString::number(::geteuid()))))
            QSKIP("another user's folder needs root");
        QFile::remove(p.driveD() + "/N/data/SMITH.RPT");
        ScriptedPrompter refused;
        out = Run(in, kChecked, local, network);
        QVERIFY(out.errorReported && !out.copied);
        QCOMPARE(refused.shown().size(), 1);
        QCOMPARE(refused.shown()[0].text,
                 Texts::ErrorReport(platform::ErrorDescription(platform::NoLockFolder)));
        QVERIFY(!QFileInfo::exists(p.driveD() + "/N/data/SMITH.RPT"));
    }

    // The old report and sketch replaced on the other side are kept there
    // first, under one stamp, with their own bytes and times; none with 0
    // days; and one that cannot be kept is not replaced.
    void replacedFilesAreKept() {
        TestPrefix p;
        const QString share = p.driveD() + "/N/data/SMITH.RPT";
        p.write(p.driveC() + "/L/data/SMITH.RPT", "new");
        p.write(p.driveC() + "/L/S/SMITH.sk3", "new sketch");
        p.write(share, "old");
        p.write(p.driveD() + "/N/S/SMITH.sk3", "old sketch");
        const QDateTime saved(QDate(2026, 11, 2), QTime(9, 58, 1));
        {
            QFile f(share);
            QVERIFY(f.open(QIODevice::ReadWrite) &&
                    f.setFileTime(saved, QFile::FileModificationTime));
        }
        auto local = Set("C:\\L"), network = Set("D:\\N");
        Inputs in{Direction::LocalToNetwork, "C:\\L\\data\\SMITH.RPT", "D:\\N\\data",
                  Sketch::Plandraw32};
        {
            ScriptedPrompter yes({Answer::Yes, Answer::Yes});
            QVERIFY(Run(in, kChecked, local, network).copied);
        }
        QCOMPARE(TestPrefix::read(share), QByteArray("new"));
        const auto reports = platform::ListKeptVersions(p.driveD() + "/N/data").value;
        const auto sketches = platform::ListKeptVersions(p.driveD() + "/N/S").value;
        QCOMPARE(reports.size(), 1);
        QCOMPARE(sketches.size(), 1);
        QCOMPARE(reports[0].original, "SMITH.RPT");
        QCOMPARE(TestPrefix::read(reports[0].path), QByteArray("old"));
        QCOMPARE(reports[0].modified, saved);
        QCOMPARE(TestPrefix::read(sketches[0].path), QByteArray("old sketch"));
        QCOMPARE(sketches[0].stamp(), reports[0].stamp());

        in.keepDays = 0;
        {
            ScriptedPrompter yes({Answer::Yes, Answer::Yes});
            QVERIFY(Run(in, kChecked, local, network).copied);
        }
        QCOMPARE(platform::ListKeptVersions(p.driveD() + "/N/data").value.size(), 1);

        in.keepDays = 30;
        p.write(share, "the share's own");
        QVERIFY(QFile::remove(p.driveD() + "/N/data/.quarn-versions/" +
                              QFileInfo(reports[0].path).fileName()));
        QVERIFY(QDir(p.driveD() + "/N/data").rmdir(".quarn-versions"));
        p.write(p.driveD() + "/N/data/.quarn-versions", "planted");
        ScriptedPrompter yes({Answer::Yes});
        const Outcome out = Run(in, kChecked, local, network);
        QVERIFY(out.errorReported && !out.copied);
        QCOMPARE(yes.shown().size(), 2);
        QCOMPARE(yes.shown()[1].text,
                 Texts::VersionNotKept("D:\\N\\data\\SMITH.RPT",
                                       platform::ErrorDescription(platform::PathFileAccessError)));
        QCOMPARE(TestPrefix::read(share), QByteArray("the share's own"));
    }

    void reportFolders() {
        auto network = Set("N:\\V\\data"), local = Set("C:\\V\\data");
        QCOMPARE(NetworkReportDir(network), u"N:\\V\\"); // "\data\data" cut back
        QCOMPARE(LocalReportDir(local), u"C:\\V\\data\\data");
        QCOMPARE(network.QXADATADIR, u"N:\\V\\data\\"); // given its backslash in place
    }
};

QTEST_GUILESS_MAIN(TestCopyProcedure)
#include "tst_copyprocedure.moc"
