// Path and string utilities at their edges, and the shared error reporter as
// the user sees it.

#include "platform/HostError.h"
#include "config/ModCommon.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

#include <functional>
#include <unistd.h>

using namespace ModCommon;
using platform::Answer;
using platform::Buttons;
using platform::Message;

namespace {

// Answers from a script and runs an action before each answer, so a test can
// mend the fault between a Retry and the repeated step.
class ActingPrompter : public ScriptedPrompter {
public:
    using ScriptedPrompter::ScriptedPrompter;
    std::function<void()> beforeAnswer;
    Answer ask(const Message& m) override {
        if (beforeAnswer)
            beforeAnswer();
        return ScriptedPrompter::ask(m);
    }
};

Message ErrorBox(const QString& text) {
    return {QStringLiteral("Error"), text, Buttons::AbortRetryIgnore, platform::Icon::None, 0};
}

} // namespace

class TestModCommon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void ckRSlash_data() {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("argAfter");
        QTest::newRow("empty") << "" << "" << "";
        QTest::newRow("blanks stay") << "   " << "" << "   ";
        QTest::newRow("adds backslash") << "C:\\DATA" << "C:\\DATA\\" << "C:\\DATA\\";
        QTest::newRow("trims when adding") << " C:\\DATA " << "C:\\DATA\\" << "C:\\DATA\\";
        QTest::newRow("has one: argument untouched") << " C:\\DATA\\ " << "C:\\DATA\\" << " C:\\DATA\\ ";
        QTest::newRow("tabs are not blanks") << "\tC:" << "\tC:\\" << "\tC:\\";
    }
    void ckRSlash() {
        QFETCH(QString, arg);
        QFETCH(QString, result);
        QFETCH(QString, argAfter);
        QCOMPARE(CkRSlash(arg), result);
        QCOMPARE(arg, argAfter);
        QCOMPARE(CurrentProc, u"CkRSlash");
    }

    void stripRChar_data() {
        QTest::addColumn<QString>("arg");
        QTest::addColumn<QString>("result");
        QTest::newRow("root") << "C:\\" << "C:";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("blanks") << "  " << "";
        QTest::newRow("trimmed") << " C:\\DATA " << "C:\\DATA";
        QTest::newRow("one backslash only") << "C:\\\\" << "C:\\";
        QTest::newRow("blank after backslash") << "C:\\DATA\\  " << "C:\\DATA";
    }
    void stripRChar() {
        QFETCH(QString, arg);
        QFETCH(QString, result);
        QCOMPARE(StripRChar(arg), result);
        QCOMPARE(arg, result);
    }

    void parseFileName_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QStringList>("parts"); // drive, directory, name, extension
        QTest::newRow("full") << "c:\\data\\letters\\smith.txt" << QStringList{"C:", "\\DATA\\LETTERS\\", "SMITH", "TXT"};
        QTest::newRow("share, dotted name") << "\\\\SERVER\\SHARE\\A.B.C" << QStringList{"", "\\\\SERVER\\SHARE\\", "A", "B.C"};
        QTest::newRow("drive only") << "C:" << QStringList{"C:", "", "", ""};
        QTest::newRow("name only") << "SMITH" << QStringList{"", "", "SMITH", ""};
        QTest::newRow("dot in directory") << "C:\\DATA.OLD\\SMITH.TXT" << QStringList{"C:", "\\", "DATA", "OLD\\SMITH.TXT"};
        QTest::newRow("trailing dot") << "SMITH." << QStringList{"", "", "SMITH", ""};
        QTest::newRow("blank") << "   " << QStringList{"", "", "", ""};
        QTest::newRow("colon elsewhere") << "AB:C" << QStringList{"", "", "AB:C", ""};
        QTest::newRow("bracket prefix cut") << "C:[X]\\DIR\\F.RPT" << QStringList{"C:", "\\DIR\\", "F", "RPT"};
        QTest::newRow("directory with trailing backslash") << " c:\\data\\ " << QStringList{"C:", "\\DATA\\", "", ""};
        QTest::newRow("unicode upper-cased") << "c:\\café.rpt" << QStringList{"C:", "\\", "CAFÉ", "RPT"};
        QTest::newRow("one character for one") << "ß:\\straße.rpt" << QStringList{"ß:", "\\", "STRAßE", "RPT"};
    }
    void parseFileName() {
        QFETCH(QString, path);
        QFETCH(QStringList, parts);
        QString drive = "x", dir = "x", name = "x", ext = "x";
        ParseFileName(path, drive, dir, name, ext);
        QCOMPARE((QStringList{drive, dir, name, ext}), parts);
    }

    void splitPadCount_data() {
        QTest::addColumn<QString>("got");
        QTest::addColumn<QString>("expected");
        QTest::newRow("SplitLR left") << SplitLR("A[B]C", "L", "[") << "A";
        QTest::newRow("SplitLR right word") << SplitLR("A[B]C", "right", "[") << "B]C";
        QTest::newRow("SplitLR lower-case r") << SplitLR("A[B]C", "r", "[") << "B]C";
        QTest::newRow("SplitLR missing left") << SplitLR("ABC", "L", "[") << "";
        QTest::newRow("SplitLR missing right") << SplitLR("ABC", "R", "[") << "";
        QTest::newRow("SplitLR other selector") << SplitLR("A[B", "X", "[") << "";
        QTest::newRow("SplitLR first delimiter") << SplitLR("A|B|C", "R", "|") << "B|C";
        QTest::newRow("PadLeft widens") << PadLeft("7", 3, "0") << "007";
        QTest::newRow("PadLeft keeps last digits") << PadLeft("1234", 3, "0") << "234";
        QTest::newRow("PadLeft trims") << PadLeft(" 5 ", 2, "0") << "05";
        QTest::newRow("PadLeft first fill char") << PadLeft("5", 3, "xy") << "xx5";
        QTest::newRow("PadLeft width 0") << PadLeft("5", 0, "0") << "";
        QTest::newRow("CountChar three") << QString::number(CountChar("ITEM###", "#")) << "3";
        QTest::newRow("CountChar none") << QString::number(CountChar("ITEM", "#")) << "0";
        QTest::newRow("CountChar overlapping") << QString::number(CountChar("###", "##")) << "2";
        QTest::newRow("CountChar empty needle") << QString::number(CountChar("ITEM", "")) << "0";
        QTest::newRow("TrimUCase") << TrimUCase(u"  textbox ") << "TEXTBOX";
        QTest::newRow("TrimUCase keeps tabs") << TrimUCase(u"\tx") << "\tX";
    }
    void splitPadCount() {
        QFETCH(QString, got);
        QFETCH(QString, expected);
        QCOMPARE(got, expected);
    }

    void padLeftRefusesBadArguments() {
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", -1, "0"));
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", 2, ""));
    }

    void handleError_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description");
        QTest::newRow("57") << 57 << "Device I/O error";
        QTest::newRow("61") << 61 << "Disk full";
        QTest::newRow("68") << 68 << "Device unavailable";
        QTest::newRow("71") << 71 << "Disk not ready";
    }
    void handleError() {
        QFETCH(int, number);
        QFETCH(QString, description);
        CurrentProc = "  ParseFileName ";
        ScriptedPrompter script({Answer::Retry, Answer::Ignore, Answer::Abort});
        QCOMPARE(HandleError(number), RecoveryAction::Retry);
        QCOMPARE(HandleError(number), RecoveryAction::Skip);
        QCOMPARE(HandleError(number), RecoveryAction::Leave);
        const QString text = description + QStringLiteral(".\r\nError # ") + QString::number(number) +
                             QStringLiteral(" in module ParseFileName.");
        QCOMPARE(script.shown(), (QList<Message>{ErrorBox(text), ErrorBox(text), ErrorBox(text)}));
    }

    void otherErrorsPropagateSilently() {
        ScriptedPrompter script;
        for (int n : {0, 5, 53, 70, 75, 76})
            QCOMPARE(HandleError(n), RecoveryAction::Propagate);
        QVERIFY(script.shown().isEmpty());
    }

    void fileExists_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::newRow("one byte") << "C:\\VALUATOR\\ONE.RPT" << true;
        QTest::newRow("other case") << "c:\\valuator\\one.rpt" << true;
        QTest::newRow("empty file") << "C:\\VALUATOR\\EMPTY.RPT" << false;
        QTest::newRow("missing file") << "C:\\VALUATOR\\NONE.RPT" << false;
        QTest::newRow("missing directory") << "C:\\NODIR\\ONE.RPT" << false;
        QTest::newRow("directory") << "C:\\VALUATOR" << false;
        QTest::newRow("empty path") << "" << false;
        QTest::newRow("on a share") << "\\\\server\\share\\ONE.RPT" << true;
    }
    void fileExists() {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/One.rpt", "x");
        p.write(p.driveC() + "/VALUATOR/EMPTY.RPT", "");
        p.write(p.share() + "/one.rpt", "x");
        ScriptedPrompter script;
        QCOMPARE(FileExists(path), exists);
        QVERIFY(script.shown().isEmpty());
    }

    void fileExistsOnDeviceError_data() {
        QTest::addColumn<QList<Answer>>("answers");
        QTest::addColumn<bool>("result");
        QTest::newRow("abort") << QList<Answer>{Answer::Abort} << false;
        QTest::newRow("ignore: unreadable is absent") << QList<Answer>{Answer::Ignore} << false;
        QTest::newRow("retry, then abort") << QList<Answer>{Answer::Retry, Answer::Abort} << false;
    }
    void fileExistsOnDeviceError() {
        QFETCH(QList<Answer>, answers);
        QFETCH(bool, result);
        TestPrefix p;
        ScriptedPrompter script(answers);
        QCOMPARE(FileExists("E:\\SMITH.RPT"), result);
        QCOMPARE(script.shown().size(), answers.size());
        QCOMPARE(script.shown().last(),
                 ErrorBox("Disk not ready.\r\nError # 71 in module FileExists."));
        QCOMPARE(script.unexpected(), 0);
    }

    void retryRepeatsTheFailingStep() {
        TestPrefix p;
        ActingPrompter script({Answer::Retry});
        script.beforeAnswer = [&] { p.write(p.root() + "/no-medium/SMITH.RPT", "report"); };
        QVERIFY(FileExists("E:\\smith.rpt"));
        QCOMPARE(script.shown().size(), 1);
    }

    void unplannedErrorsAreHandedOn() {
        TestPrefix p;
        QVERIFY(::symlink("LOOP", QFile::encodeName(p.driveC() + "/LOOP").constData()) == 0);
        ScriptedPrompter script;
        try {
            FileExists("C:\\LOOP");
            QFAIL("no error raised");
        } catch (const platform::RuntimeError& e) {
            QCOMPARE(e.number(), int(platform::PathFileAccessError));
        }
        QVERIFY(script.shown().isEmpty());
    }

    void pathExists_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<bool>("exists");
        QTest::newRow("no backslash: parent tested") << "C:\\NOSUCH" << true;
        QTest::newRow("missing directory") << "C:\\NOSUCH\\" << false;
        QTest::newRow("file in missing directory") << "C:\\NOSUCH\\SMITH.TXT" << false;
        QTest::newRow("existing directory") << "C:\\VALUATOR\\" << true;
        QTest::newRow("empty directory") << "C:\\VALUATOR\\EMPTY\\" << true;
        QTest::newRow("other case") << "c:\\valuator\\data\\" << true;
        QTest::newRow("file in directory") << "C:\\VALUATOR\\DATA\\NONE.RPT" << true;
        QTest::newRow("share") << "\\\\SERVER\\SHARE\\" << true;
        QTest::newRow("unmapped drive") << "Q:\\DATA\\" << false;
        QTest::newRow("drive without medium") << "E:\\" << false;
        QTest::newRow("a file is no directory") << "C:\\VALUATOR\\DATA\\NODOT\\" << false;
        QTest::newRow("first dot ends the directory") << "C:\\VALUATOR\\DATA\\ONE.RPT\\X\\" << true;
    }
    void pathExists() {
        QFETCH(QString, path);
        QFETCH(bool, exists);
        TestPrefix p;
        p.makeDir(p.driveC() + "/VALUATOR/EMPTY");
        p.write(p.driveC() + "/VALUATOR/Data/ONE.RPT", "x");
        p.write(p.driveC() + "/VALUATOR/Data/NODOT", "x");
        ScriptedPrompter script;
        QCOMPARE(PathExists(path), exists);
        QVERIFY(script.shown().isEmpty()); // never a message, even for a device error
    }
};

QTEST_GUILESS_MAIN(TestModCommon)
#include "tst_modcommon.moc"
