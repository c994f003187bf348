// Path and string utilities at their edges, and the shared error reporter as
// the user sees it; the tables are modcommon_*.txt.

#include "platform/HostError.h"
#include "config/ModCommon.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

#include <unistd.h>

using namespace ModCommon;
using platform::Answer;
using platform::Message;

namespace {

void AddCases(const char* file) {
    QTest::addColumn<QStringList>("c");
    for (const QStringList& c : ReadCases(QString(QUARN_TESTS_DIR "/config/") + file))
        QTest::newRow(qPrintable(c.last())) << c;
}

Message ErrorBox(const QString& text) {
    return {QStringLiteral("Error"), text, platform::Buttons::AbortRetryIgnore, platform::Icon::None, 0};
}

} // namespace

class TestModCommon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strings_data() { AddCases("modcommon_strings.txt"); }
    void strings() {
        QFETCH(QStringList, c); // function, arguments, results, case
        QString a = c[1];
        QStringList got;
        if (c[0] == u"CkRSlash")
            got = {CkRSlash(a), a};
        else if (c[0] == u"StripRChar")
            got = {StripRChar(a), a};
        else if (c[0] == u"ParseFileName")
            got = {"x", "x", "x", "x"}, ParseFileName(a, got[0], got[1], got[2], got[3]);
        else if (c[0] == u"SplitLR")
            got = {SplitLR(a, c[2], c[3])};
        else if (c[0] == u"PadLeft")
            got = {PadLeft(a, std::int16_t(c[2].toInt()), c[3])};
        else if (c[0] == u"CountChar")
            got = {QString::number(CountChar(a, c[2]))};
        else
            got = {TrimUCase(a)};
        QCOMPARE(got, c.mid(c.size() - 1 - got.size(), got.size()));
    }

    void padLeftRefusesBadArguments() {
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", -1, "0"));
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", 2, ""));
    }

    void handleError_data() {
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("description"); // none: handed on, no box
        QTest::addColumn<Answer>("answer");
        QTest::addColumn<RecoveryAction>("action");
        QTest::newRow("57") << 57 << "Device I/O error" << Answer::Retry << RecoveryAction::Retry;
        QTest::newRow("61") << 61 << "Disk full" << Answer::Ignore << RecoveryAction::Skip;
        QTest::newRow("68") << 68 << "Device unavailable" << Answer::Abort << RecoveryAction::Leave;
        QTest::newRow("71") << 71 << "Disk not ready" << Answer::Retry << RecoveryAction::Retry;
        for (int n : {0, 5, 53, 70, 75, 76})
            QTest::newRow(qPrintable(QString::number(n))) << n << "" << Answer::Ok << RecoveryAction::Propagate;
    }
    void handleError() {
        QFETCH(int, number);
        QFETCH(QString, description);
        QFETCH(Answer, answer);
        QFETCH(RecoveryAction, action);
        CurrentProc = "  ParseFileName ";
        ScriptedPrompter script({answer});
        QCOMPARE(HandleError(number), action);
        const QString text = QStringLiteral("%1.\r\nError # %2 in module ParseFileName.").arg(description).arg(number);
        QCOMPARE(script.shown(), description.isEmpty() ? QList<Message>() : QList<Message>{ErrorBox(text)});
    }

    void files_data() { AddCases("modcommon_files.txt"); }
    void files() {
        QFETCH(QStringList, c); // function, path, answers, result
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/Data/One.rpt", "x");
        p.write(p.driveC() + "/VALUATOR/Data/EMPTY.RPT", "");
        p.write(p.driveC() + "/VALUATOR/Data/NODOT", "x");
        p.makeDir(p.driveC() + "/VALUATOR/EMPTY");
        QVERIFY(QFile::link("LOOP", p.driveC() + "/LOOP"));
        QList<Message> boxes;
        QList<Answer> answers;
        for (const QString& a : c[2].split(u' ', Qt::SkipEmptyParts)) {
            boxes << ErrorBox("Disk not ready.\r\nError # 71 in module FileExists.");
            answers << (a == u"Retry" ? Answer::Retry : a == u"Ignore" ? Answer::Ignore : Answer::Abort);
        }
        ScriptedPrompter script(answers);
        QString result;
        try {
            result = QString::number(c[0] == u"FileExists" ? FileExists(c[1]) : PathExists(c[1]));
        } catch (const platform::RuntimeError& e) {
            result = QStringLiteral("error %1").arg(e.number());
        }
        QCOMPARE(result, c[3]);
        QCOMPARE(script.shown(), boxes);
    }
};

QTEST_GUILESS_MAIN(TestModCommon)
#include "tst_modcommon.moc"
