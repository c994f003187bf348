// Path and string utilities at their edges, and the shared error reporter as
// the user sees it; the tables are modcommon_*.txt and errorreport.txt.

#include "config/ErrorReport.h"
#include "config/ModCommon.h"
#include "platform/win/HostError.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

#include <unistd.h>

using namespace ErrorReport;
using namespace ModCommon;
using platform::Message;

static Message ErrorBox(const QString& text) {
    return {QStringLiteral("Error"), text, platform::Buttons::AbortRetryIgnore,
            platform::Icon::None, 0};
}

class TestModCommon : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void strings_data() { AddCases("config/modcommon_strings.txt"); }
    void strings() {
        QFETCH(Row, row);
        const QString function = row["function"];
        const QStringList further = row.rest("further"); // the other arguments, then the results
        QString a = row["argument"];
        QStringList got{"x", "x", "x", "x"};
        if (function == u"ParseFileName")
            ParseFileName(a, got[0], got[1], got[2], got[3]);
        else if (function == u"CkRSlash" || function == u"StripRChar") // then the argument as left
            got = {function == u"CkRSlash" ? CkRSlash(a) : StripRChar(a), a};
        else
            got = {function == u"SplitLR" ? SplitLR(a, further[0], further[1])
                   : function == u"PadLeft"
                       ? PadLeft(a, std::int16_t(further[0].toInt()), further[1])
                   : function == u"CountChar" ? QString::number(CountChar(a, further[0]))
                                              : TrimUCase(a)};
        QCOMPARE(got, further.mid(further.size() - got.size()));
    }

    void padLeftRefusesBadArguments() {
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", -1, "0"));
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, PadLeft("1", 2, ""));
    }

    void handleError_data() { AddCases("config/errorreport.txt"); }
    void handleError() {
        QFETCH(Row, row);
        const QString error = row["error"], description = row["description"];
        CurrentProc = "  ParseFileName ";
        ScriptedPrompter script(row["answer"]);
        const QStringList next{"Retry", "Skip", "Leave", "Propagate"};
        QCOMPARE(next[int(HandleError(error.toInt()))], row["next"]);
        QCOMPARE(script.shown(), QList<Message>(description.isEmpty() ? 0 : 1,
                                                ErrorBox(description + ".\r\nError # " + error +
                                                         " in module ParseFileName.")));
    }

    void files_data() { AddCases("config/modcommon_files.txt"); }
    void files() {
        QFETCH(Row, row);
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/Data/One.rpt", "x");
        p.write(p.driveC() + "/VALUATOR/Data/EMPTY.RPT", "");
        p.write(p.driveC() + "/VALUATOR/Data/NODOT", "x");
        QVERIFY(QFile::link("LOOP", p.driveC() + "/LOOP"));
        ScriptedPrompter script(row["answers"]);
        const qsizetype answers = script.pending();
        QString result;
        try {
            const QString path = row["path"];
            result = QString::number(row["function"] == u"FileExists" ? FileExists(path)
                                                                      : PathExists(path));
        } catch (const platform::RuntimeError& e) {
            result = QStringLiteral("error %1").arg(e.number());
        }
        QCOMPARE(result, row["result"]);
        QCOMPARE(script.shown(),
                 QList<Message>(answers,
                                ErrorBox("Disk not ready.\r\nError # 71 in module FileExists.")));
    }
};

QTEST_GUILESS_MAIN(TestModCommon)
#include "tst_modcommon.moc"
