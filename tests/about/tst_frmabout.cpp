// The about box: the registry file reader and GetKeyValue over it, the system
// information tool, and the hidden button that holds the focus.

#include "about/frmAbout.h"
#include "platform/win/Registry.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/StoppedShare.h"
#include "tests/support/TestPrefix.h"
#include "ui_frmAbout.h"

#include <QTest>

#include <optional>

using namespace SysInfo;

class TestFrmAbout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Cases: name, key, value name, type ("-": none), the data ("hex:" for
    // bytes, "*" not compared), and what GetKeyValue makes of it ("-": not
    // found, "*": found, not compared), all from system.reg.
    void registry_data() { AddCases("about/registry.txt", "name"); }
    void registry() {
        QFETCH(Row, row);
        const QString key = row["key"], name = row["value"], data = row["data"],
                      keyValue = row["read"];
        TestPrefix p;
        const QByteArray registry = TestPrefix::read(QUARN_TESTS_DIR "/about/system.reg");
        p.write(p.prefix() + "/system.reg", registry);
        const auto v = platform::ReadRegistryText(registry, key, name);
        QCOMPARE(v ? QString::number(v->type) : "-", row["type"]);
        if (v && data != u"*")
            QCOMPARE(v->data, data.startsWith(u"hex:") ? QByteArray::fromHex(data.mid(4).toLatin1())
                                                       : data.toUtf8());
        QString got = "before";
        QCOMPARE(GetKeyValue(HKEY_LOCAL_MACHINE, key, name, got), keyValue != u"-");
        if (keyValue != u"*")
            QCOMPARE(got, keyValue == u"-" ? QString() : keyValue);
        QVERIFY(!GetKeyValue(0x80000001, key, name, got)); // only the machine's keys exist
    }

    // Cases: name, registry file ("-": none), 1 when C:\SHARED holds the
    // tool, 1 when the prefix is on a share that stopped answering (its
    // registry never read on the window's thread), the shell's answer, the
    // program started ("-": none), 1 when it says it is unavailable.
    void startSysInfo_data() { AddCases("about/sysinfo.txt", "name"); }
    void startSysInfo() {
        QFETCH(Row, row);
        TestPrefix p;
        if (row["registry"] != u"-")
            p.write(p.prefix() + "/system.reg",
                    TestPrefix::read(QUARN_TESTS_DIR "/about/" + row["registry"]));
        if (row["shared"] == u"1")
            p.write(p.driveC() + "/SHARED/msinfo32.exe", "");
        RecordingShell shell(row["answer"].toInt());
        ScriptedPrompter script;
        std::optional<StoppedShare> stopped;
        if (row["stopped"] == u"1")
            stopped.emplace(QStringList{p.prefix()}, 200);
        SysInfo::StartSysInfo();
        if (stopped) {
            QCOMPARE(stopped->askedHere(), 0);
            QVERIFY(stopped->answer());
        }
        QCOMPARE(shell.requests.isEmpty() ? "-" : shell.requests.last().target, row["started"]);
        QCOMPARE(script.shown().size(), row["unavailable"].toInt());
    }

    void theBox() {
        TestPrefix p; // no registry: the tool is unavailable
        ScriptedPrompter script;
        frmAbout box(nullptr);
        QCOMPARE(frmAbout::VersionText("1.00.0012"), u"1.0.12");
        // The hidden System Info holds the focus: the activation key starts the tool.
        box.show();
        QCOMPARE(box.focusWidget(), box.ui()->cmdSysInfo);
        QTest::keyClick(box.ui()->cmdSysInfo, Qt::Key_Space);
        QCOMPARE(script.shown().value(0).text, u"System Information Is Unavailable At This Time");
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
