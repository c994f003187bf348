// The copy procedure on a prefix: every direction and sketch rule, the
// questions and messages in their order, and the copies that must not
// lose or tear a file.

#include "suite/CopyProcedure.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

using namespace CopyProcedure;
using platform::Answer;

namespace {

Quarn_v2::DirectorySet Set(const char* root) {
    Quarn_v2::DirectorySet s;
    s.QXADATADIR = QString::fromLatin1(root);
    s.QXSDATADIR = QString::fromLatin1(root) + "\\S";
    s.APEXDATADIR = QString::fromLatin1(root) + "\\X";
    return s;
}

} // namespace

class TestCopyProcedure : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void runs_data() {
        QTest::addColumn<int>("direction");
        QTest::addColumn<QString>("report");
        QTest::addColumn<QStringList>("files");   // host path under the root = content
        QTest::addColumn<int>("sketch");
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("after");   // path = content ("-": absent)

        const QString ok = "File(s) copied successfully";
        const QString refused = "The report \"%1\" cannot be transferred: Windows cannot name a file "
                                "that ends in a blank or a dot or holds any of \\ : * ? \" < > |. "
                                "Rename the file and try again.";
        const QStringList report{"prefix/drive_c/L/data/smith.rpt=r"};
        QTest::newRow("none: one success") << 0 << "C:\\L\\data\\smith.rpt" << report << 0 << QList<Answer>{}
            << QStringList{ok} << QStringList{"second/N/data/SMITH.RPT=r"};
        QTest::newRow("plandraw") << 0 << "C:\\L\\data\\smith.rpt" << (report + QStringList{"prefix/drive_c/L/S/SMITH.sk3=k"}) << 1
            << QList<Answer>{} << QStringList{ok} << QStringList{"second/N/S/SMITH.sk3=k"};
        QTest::newRow("apex medina, sketch missing") << 0 << "C:\\L\\data\\smith.rpt" << report << 5 << QList<Answer>{}
            << QStringList{"File C:\\L\\X\\SMITH.AX4 not found.", ok} << QStringList{"second/N/data/SMITH.RPT=r"};
        QTest::newRow("apex axf, sketch missing") << 0 << "C:\\L\\data\\smith.rpt" << report << 2 << QList<Answer>{}
            << QStringList{"File C:\\L\\X\\SMITH.AXF not found. Sketch not copied to Target Filepath.", ok} << QStringList{};
        QTest::newRow("overwrite no") << 0 << "C:\\L\\data\\smith.rpt" << (report + QStringList{"second/N/data/SMITH.RPT=old"}) << 0
            << QList<Answer>{Answer::No} << QStringList{"File D:\\N\\data\\SMITH.RPT Exists.  Are you sure you wish to Overwrite?"}
            << QStringList{"second/N/data/SMITH.RPT=old"};
        QTest::newRow("overwrite yes, any case on disk") << 0 << "C:\\L\\data\\smith.rpt" << (report + QStringList{"second/N/data/smith.rpt=old"}) << 0
            << QList<Answer>{Answer::Yes} << QStringList{"File D:\\N\\data\\SMITH.RPT Exists.  Are you sure you wish to Overwrite?", ok}
            << QStringList{"second/N/data/smith.rpt=r", "second/N/data/SMITH.RPT=-"};
        QTest::newRow("empty target replaced unasked") << 0 << "C:\\L\\data\\smith.rpt" << (report + QStringList{"second/N/data/SMITH.RPT="}) << 0
            << QList<Answer>{} << QStringList{ok} << QStringList{"second/N/data/SMITH.RPT=r"};
        QTest::newRow("empty report is copied") << 0 << "C:\\L\\data\\smith.rpt" << QStringList{"prefix/drive_c/L/data/smith.rpt="} << 0
            << QList<Answer>{} << QStringList{ok} << QStringList{"second/N/data/SMITH.RPT="};
        QTest::newRow("missing report, sketch still") << 0 << "C:\\L\\data\\none.rpt" << QStringList{"prefix/drive_c/L/S/NONE.sk3=k"} << 1
            << QList<Answer>{} << QStringList{"Source File C:\\L\\data\\none.rpt doesn't exist.", ok} << QStringList{"second/N/S/NONE.sk3=k"};
        QTest::newRow("sketch overwrite yes, source missing: error") << 0 << "C:\\L\\data\\smith.rpt" << (report + QStringList{"second/N/S/SMITH.sk3=old"}) << 1
            << QList<Answer>{Answer::Yes}
            << QStringList{"File D:\\N\\S\\SMITH.sk3 Exists.  Are you sure you wish to Overwrite?", "Error encountered, ErrNum = File not found"}
            << QStringList{"second/N/data/SMITH.RPT=r", "second/N/S/SMITH.sk3=old"};
        QTest::newRow("to local, plandraw asks with the path alone") << 1 << "D:\\N\\data\\brown.rpt"
            << QStringList{"second/N/data/brown.rpt=b", "second/N/S/BROWN.sk3=k"} << 1 << QList<Answer>{Answer::No}
            << QStringList{"C:\\L\\S\\BROWN.sk3", ok} << QStringList{"prefix/drive_c/L/data/BROWN.RPT=b", "prefix/drive_c/L/S/BROWN.sk3=-"};
        QTest::newRow("to local, overwrite yes, source missing") << 1 << "D:\\N\\data\\brown.rpt"
            << QStringList{"second/N/data/brown.rpt=b", "prefix/drive_c/L/S/BROWN.sk3=old"} << 1 << QList<Answer>{Answer::Yes}
            << QStringList{"File C:\\L\\S\\BROWN.sk3 Exists.  Are you sure you wish to Overwrite?", "File D:\\N\\S\\BROWN.sk3 not found.", ok}
            << QStringList{"prefix/drive_c/L/S/BROWN.sk3=old"};
        QTest::newRow("to local, apex copied unasked") << 1 << "D:\\N\\data\\brown.rpt"
            << QStringList{"second/N/data/brown.rpt=b", "second/N/X/BROWN.AX2=k"} << 3 << QList<Answer>{}
            << QStringList{ok} << QStringList{"prefix/drive_c/L/X/BROWN.AX2=k"};
        QTest::newRow("a dot in a folder name") << 0 << "C:\\L\\DATA.OLD\\smith.rpt" << QStringList{"prefix/drive_c/L/DATA.OLD/smith.rpt=r", "prefix/drive_c/L/S/SMITH.sk3=k"} << 1
            << QList<Answer>{} << QStringList{ok} << QStringList{"second/N/data/SMITH.RPT=r", "second/N/S/SMITH.sk3=k"};
        QTest::newRow("brackets: smith[1] then jones[2]") << 0 << "C:\\L\\data\\smith[1].rpt|C:\\L\\data\\jones[2].rpt"
            << QStringList{"prefix/drive_c/L/data/smith[1].rpt=s", "prefix/drive_c/L/data/jones[2].rpt=j", "prefix/drive_c/L/S/SMITH[1].sk3=ks", "prefix/drive_c/L/S/JONES[2].sk3=kj"} << 1
            << QList<Answer>{} << QStringList{ok, ok}
            << QStringList{"second/N/data/SMITH[1].RPT=s", "second/N/data/JONES[2].RPT=j", "second/N/S/SMITH[1].sk3=ks", "second/N/S/JONES[2].sk3=kj"};
        QTest::newRow("several dots: its own sketch") << 0 << "C:\\L\\data\\smith.v2.rpt"
            << QStringList{"prefix/drive_c/L/data/smith.v2.rpt=r", "prefix/drive_c/L/S/SMITH.sk3=other", "prefix/drive_c/L/S/SMITH.V2.sk3=k"} << 1
            << QList<Answer>{} << QStringList{ok} << QStringList{"second/N/data/SMITH.V2.RPT=r", "second/N/S/SMITH.V2.sk3=k", "second/N/S/SMITH.sk3=-"};
        QTest::newRow("a host name Windows cannot hold") << 0 << "/prefix/drive_c/L/data/smith.rpt "
            << QStringList{"prefix/drive_c/L/data/smith.rpt=r", "prefix/drive_c/L/data/smith.rpt =b", "prefix/drive_c/L/S/SMITH.sk3=k"} << 1
            << QList<Answer>{} << QStringList{refused.arg("smith.rpt ")} << QStringList{"second/N/data/SMITH.RPT=-", "second/N/S/SMITH.sk3=-"};
        QTest::newRow("the same file is refused") << 0 << "D:\\N\\data\\SMITH.RPT" << QStringList{"second/N/data/SMITH.RPT=keep"} << 0
            << QList<Answer>{Answer::Yes}
            << QStringList{"File D:\\N\\data\\SMITH.RPT Exists.  Are you sure you wish to Overwrite?", "Error encountered, ErrNum = Source and target are the same file"}
            << QStringList{"second/N/data/SMITH.RPT=keep"};
        QTest::newRow("the same file in another case") << 0 << "d:\\n\\DATA\\smith.rpt" << QStringList{"second/N/data/SMITH.RPT=keep"} << 0
            << QList<Answer>{Answer::Yes}
            << QStringList{"File D:\\N\\data\\SMITH.RPT Exists.  Are you sure you wish to Overwrite?", "Error encountered, ErrNum = Source and target are the same file"}
            << QStringList{"second/N/data/SMITH.RPT=keep"};
        QTest::newRow("the same file through a link") << 0 << "C:\\LINK\\SMITH.RPT" << QStringList{"second/N/data/SMITH.RPT=keep"} << 0
            << QList<Answer>{Answer::Yes}
            << QStringList{"File D:\\N\\data\\SMITH.RPT Exists.  Are you sure you wish to Overwrite?", "Error encountered, ErrNum = Source and target are the same file"}
            << QStringList{"second/N/data/SMITH.RPT=keep"};
    }
    void runs() {
        QFETCH(int, direction);
        QFETCH(QString, report);
        QFETCH(QStringList, files);
        QFETCH(int, sketch);
        QFETCH(QList<Answer>, answers);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, after);
        TestPrefix p;
        for (const char* dir : {"prefix/drive_c/L/data", "prefix/drive_c/L/S", "prefix/drive_c/L/X",
                                "second/N/data", "second/N/S", "second/N/X"})
            p.makeDir(p.at(dir));
        for (const QString& f : files)
            p.write(p.at(f.section(u'=', 0, 0)), f.section(u'=', 1).toUtf8());
        QVERIFY(QFile::link(p.driveD() + "/N/data", p.driveC() + "/LINK"));
        ScriptedPrompter script(answers);
        auto local = Set("C:\\L");
        auto network = Set("D:\\N");
        Outcome out;
        for (QString r : report.split(u'|')) { // one run each; "/..." a host path under the root
            if (r.startsWith(u'/'))
                r = p.at(r.mid(1));
            const Inputs in{direction, r, direction == 0 ? NetworkReportDir(network) : LocalReportDir(local), sketch};
            out = Run(in, [] { return true; }, local, network);
        }
        QStringList shown;
        for (const auto& m : script.shown())
            shown << m.text;
        QCOMPARE(shown, messages);
        QCOMPARE(script.pending(), 0); // every question was asked
        QCOMPARE(out.errorReported, messages.last().startsWith("Error encountered") ||
                                        messages.last().startsWith("The report \""));
        // Questions have Yes and No, notices OK alone.
        for (const auto& m : script.shown()) {
            const bool question = m.text.contains("Are you sure") || !m.text.contains(' ');
            QCOMPARE(m.buttons, question ? platform::Buttons::YesNo : platform::Buttons::Ok);
            QCOMPARE(m.title, u"Quarn");
        }
        for (const QString& f : after) {
            const QString path = p.at(f.section(u'=', 0, 0));
            const QString content = f.section(u'=', 1);
            if (content == u"-")
                QVERIFY2(!TestPrefix::exists(path), qPrintable(path));
            else
                QCOMPARE(QString::fromUtf8(TestPrefix::read(path)), content);
        }
    }

    // What follows the last separator is the name, every character of it;
    // only what Windows itself drops (trailing dots and blanks) goes. A host
    // name Windows cannot hold is refused ("").
    void names_data() {
        QTest::addColumn<QString>("report");
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("sketch"); // Plandraw32's
        const char* rows[][3] = {
            {"C:\\L\\data\\smith[1].rpt", "SMITH[1].RPT", "SMITH[1].sk3"},
            {"C:\\L\\data\\a]b[c].rpt", "A]B[C].RPT", "A]B[C].sk3"},
            {"C:\\L\\data\\smith.v2.rpt", "SMITH.V2.RPT", "SMITH.V2.sk3"},
            {"C:\\L\\data\\.smith.rpt", ".SMITH.RPT", ".SMITH.sk3"},
            {"C:\\L\\data\\ smith  jr.rpt", " SMITH  JR.RPT", " SMITH  JR.sk3"},
            {"C:\\L\\data\\smith", "SMITH", "SMITH.sk3"},
            {"C:\\L\\data\\stra\u00dfe.rpt", "STRA\u00dfE.RPT", "STRA\u00dfE.sk3"},
            {"C:\\L\\DATA.OLD\\smith.rpt. . ", "SMITH.RPT", "SMITH.sk3"},
            {"/home/u/smith[1].rpt", "SMITH[1].RPT", "SMITH[1].sk3"},
            {"/home/u/smith.rpt ", "", ""},
            {"/home/u/smith.rpt.", "", ""},
            {"/home/u/a:b.rpt", "", ""},
            {"/home/u/a\\b.rpt", "", ""},
            {"/home/u/a?b.rpt", "", ""},
        };
        for (const auto& r : rows)
            QTest::newRow(r[0]) << QString::fromUtf8(r[0]) << QString::fromUtf8(r[1]) << QString::fromUtf8(r[2]);
    }
    void names() {
        QFETCH(QString, report);
        QFETCH(QString, target);
        QFETCH(QString, sketch);
        QCOMPARE(NameRefusal(report).isEmpty(), !target.isEmpty());
        if (target.isEmpty())
            return;
        QCOMPARE(ReportTargetName(report), target);
        QCOMPARE(SketchFileName(report, 1), sketch);
    }

    void aFailedCheckDoesNothing() {
        TestPrefix p;
        ScriptedPrompter script;
        auto local = Set("C:\\L"), network = Set("D:\\N");
        const Outcome out = Run({0, "C:\\X.RPT", "D:\\N\\data", 1}, [] { return false; }, local, network);
        QVERIFY(!out.checked && !out.copied && !out.errorReported);
        QVERIFY(script.shown().isEmpty());
        // A target folder the dialog could not prepare: nothing lands in the
        // working folder, whichever side holds the files.
        p.write(p.driveC() + "/L/data/smith.rpt", "r");
        p.write(p.driveC() + "/L/S/SMITH.sk3", "k");
        QDir::setCurrent(p.driveC() + "/L/S");
        for (const QString& unprepared : {QString(), QStringLiteral(" ")}) {
            const Outcome none = Run({0, "C:\\L\\data\\smith.rpt", unprepared, 1}, [] { return true; }, local, network);
            QVERIFY(!none.copied && !none.errorReported);
        }
        QCOMPARE(script.shown().size(), 2);
        QCOMPARE(script.shown().last().text, u"Configuration settings invalid, please check setup");
        QCOMPARE(TestPrefix::entries(p.driveC() + "/L/S"), QStringList{"SMITH.sk3"});
        QDir::setCurrent(QDir::tempPath());
    }

    void copyKeepsTimeAndCancelLeavesTheOldTarget() {
        TestPrefix p;
        p.write(p.driveC() + "/L/data/SMITH.RPT", QByteArray(3 << 20, 'n'));
        p.write(p.driveD() + "/N/data/SMITH.RPT", "old");
        const QByteArray src = QFile::encodeName(p.driveC() + "/L/data/SMITH.RPT");
        const timespec times[2] = {{1000000000, 0}, {1000000000, 0}};
        QVERIFY(::utimensat(AT_FDCWD, src.constData(), times, 0) == 0);
        ScriptedPrompter script({Answer::Yes, Answer::Yes});
        auto local = Set("C:\\L"), network = Set("D:\\N");
        // Cancelled: not copied, no success, the old file whole, no litter.
        Outcome out = Run({0, "C:\\L\\data\\SMITH.RPT", "D:\\N\\data", 0}, [] { return true; }, local,
                          network, [](const QString&, qint64, qint64) { return false; });
        QVERIFY(!out.copied && !out.errorReported);
        QCOMPARE(TestPrefix::read(p.driveD() + "/N/data/SMITH.RPT"), QByteArray("old"));
        QCOMPARE(TestPrefix::entries(p.driveD() + "/N/data"), QStringList{"SMITH.RPT"});
        out = Run({0, "C:\\L\\data\\SMITH.RPT", "D:\\N\\data", 0}, [] { return true; }, local, network);
        QVERIFY(out.copied);
        struct stat st{};
        QVERIFY(::stat(QFile::encodeName(p.driveD() + "/N/data/SMITH.RPT").constData(), &st) == 0);
        QCOMPARE(qint64(st.st_mtim.tv_sec), qint64(1000000000));
        QCOMPARE(qint64(st.st_size), qint64(3 << 20));
    }

    void reportFolders() {
        auto network = Set("N:\\V\\data");
        auto local = Set("C:\\V\\data");
        QCOMPARE(NetworkReportDir(network), u"N:\\V\\"); // "\data\data" cut back
        QCOMPARE(LocalReportDir(local), u"C:\\V\\data\\data");
        QCOMPARE(network.QXADATADIR, u"N:\\V\\data\\"); // given its backslash in place
    }
};

QTEST_GUILESS_MAIN(TestCopyProcedure)
#include "tst_copyprocedure.moc"
