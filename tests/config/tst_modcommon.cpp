// Path and string utilities at their edges, and the shared error reporter as
// the user sees it; the tables are modcommon_*.txt and errorreport.txt.

#include "platform/win/HostError.h"
#include "config/ErrorReport.h"
#include "config/ModCommon.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

#include <unistd.h>

using namespace ErrorReport;
using namespace ModCommon;
using platform::Answer;
using platform::Message;

namespace {

QList<Answer> Answers(const QString& names) {
    QList<Answer> answers;
    for (const QString& a : names.split(u' ', Qt::SkipEmptyParts))
        answers << (a == u"Retry" ? Answer::Retry : a == u"Ignore" ? Answer::Ignore : Answer::Abort);
    return answers;
}

Message ErrorBox(const QString& text) {
    return {QStringLiteral("Error"), text, platform::Buttons::AbortRetryIgnore, platform::Icon::None, 0};
}

} // namespace

class TestModCommon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strings_data() { AddCases("config/modcommon_strings.txt"); }
    void strings() {
        QFETCH(QStringList, c); // function, arguments, results, case
        QString a = c[1];
        QStringList got{"x", "x", "x", "x"};
        if (c[0] == u"ParseFileName")
            ParseFileName(a, got[0], got[1], got[2], got[3]);
        else if (c[0] == u"CkRSlash" || c[0] == u"StripRChar") // then the argument as left
            got = {c[0] == u"CkRSlash" ? CkRSlash(a) : StripRChar(a), a};
        else
            got = {c[0] == u"SplitLR"     ? SplitLR(a, c[2], c[3])
                   : c[0] == u"PadLeft"   ? PadLeft(a, std::int16_t(c[2].toInt()), c[3])
                   : c[0] == u"CountChar" ? QString::number(CountChar(a, c[2]))
                                          : TrimUCase(a)};
        QCOMPARE(got, c.mid(c.size() - 1 - got.size(), got.size()));
    }

    void padLeftRefusesBadArguments() {
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", -1, "0"));
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", 2, ""));
    }

    void handleError_data() { AddCases("config/errorreport.txt"); }
    void handleError() {
        QFETCH(QStringList, c); // error number, description, answer, what follows
        CurrentProc = "  ParseFileName ";
        ScriptedPrompter script(Answers(c[2]));
        QCOMPARE(QStringList({"Retry", "Skip", "Leave", "Propagate"})[int(HandleError(c[0].toInt()))], c[3]);
        QCOMPARE(script.shown(), QList<Message>(c[1].isEmpty() ? 0 : 1,
                                                ErrorBox(c[1] + ".\r\nError # " + c[0] + " in module ParseFileName.")));
    }

    void files_data() { AddCases("config/modcommon_files.txt"); }
    void files() {
        QFETCH(QStringList, c); // function, path, answers, result
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/Data/One.rpt", "x");
        p.write(p.driveC() + "/VALUATOR/Data/EMPTY.RPT", "");
        p.write(p.driveC() + "/VALUATOR/Data/NODOT", "x");
        QVERIFY(QFile::link("LOOP", p.driveC() + "/LOOP"));
        const QList<Answer> answers = Answers(c[2]);
        ScriptedPrompter script(answers);
        QString result;
        try {
            result = QString::number(c[0] == u"FileExists" ? FileExists(c[1]) : PathExists(c[1]));
        } catch (const platform::RuntimeError& e) {
            result = QStringLiteral("error %1").arg(e.number());
        }
        QCOMPARE(result, c[3]);
        QCOMPARE(script.shown(),
                 QList<Message>(answers.size(), ErrorBox("Disk not ready.\r\nError # 71 in module FileExists.")));
    }
};

QTEST_GUILESS_MAIN(TestModCommon)
#include "tst_modcommon.moc"
