// The about box, the registry file reader and the system information tool.

#include "platform/Registry.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "shell/frmAbout.h"
#include "ui_frmAbout.h"

#include <QTest>

using SysInfo::GetKeyValue;
using SysInfo::HKEY_LOCAL_MACHINE;

namespace {

const QByteArray kRegistry =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to \\\\Machine\n\n"
    "#arch=win64\n\n"
    "[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO] 1590000000\n"
    "#time=1d6f0b6a0a0a0a0\n"
    "\"PATH\"=\"C:\\\\Program Files\\\\MSInfo\\\\msinfo32.exe\"\n"
    "\"Number\"=dword:0000002a\n"
    "\"Quote\"=\"say \\\"hi\\\"\"\n"
    "\"Expand\"=str(2):\"%SystemRoot%\\\\x\"\n"
    "\"Binary\"=hex:01,02,\\\n  03\n"
    "\"Esc\"=\"a\\eb\\ac\\033d\"\r\n"
    "@=\"default\"\n\n"
    "[Software\\\\Microsoft\\\\Other] 1590000000\n"
    "\"PATH\"=\"elsewhere\"\n";

} // namespace

class TestFrmAbout : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void registryText_data() {
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("name");
        QTest::addColumn<int>("type");
        QTest::addColumn<QByteArray>("data");
        const QString k = "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO";
        QTest::newRow("text, key in any case") << k << "path" << 1 << QByteArray("C:\\Program Files\\MSInfo\\msinfo32.exe");
        QTest::newRow("escaped quotes") << k << "Quote" << 1 << QByteArray("say \"hi\"");
        QTest::newRow("number") << k << "Number" << 4 << QByteArray("\x2a\0\0\0", 4);
        QTest::newRow("expandable text") << k << "Expand" << 2 << QByteArray("%SystemRoot%\\x");
        QTest::newRow("binary over two lines") << k << "Binary" << 3 << QByteArray("\x01\x02\x03");
        QTest::newRow("default value") << k << "" << 1 << QByteArray("default");
        QTest::newRow("another key") << "Software\\Microsoft\\Other" << "PATH" << 1 << QByteArray("elsewhere");
        QTest::newRow("missing value") << k << "NONE" << -1 << QByteArray();
        QTest::newRow("missing key") << "Software\\None" << "PATH" << -1 << QByteArray();
        QTest::newRow("escapes") << k << "Esc" << 1 << QByteArray("a\x1b" "b\x07" "c\x1b" "d");
    }
    void registryText() {
        QFETCH(QString, key);
        QFETCH(QString, name);
        QFETCH(int, type);
        QFETCH(QByteArray, data);
        const auto v = platform::ReadRegistryText(kRegistry, key, name);
        QCOMPARE(v.has_value(), type >= 0);
        if (v) {
            QCOMPARE(v->type, type);
            QCOMPARE(v->data, data);
        }
    }

    void getKeyValue_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<bool>("found");
        QTest::addColumn<QString>("value");
        QTest::newRow("text") << "PATH" << true << "C:\\Program Files\\MSInfo\\msinfo32.exe";
        QTest::newRow("number, last byte first, final zero cut") << "Number" << true << "&h00002A";
        QTest::newRow("text kept as hex UTF-16") << "Utf16" << true << "C:\\";
        QTest::newRow("1023 bytes with its zero") << "Long1023" << true << QString(1023, u'x');
        QTest::newRow("other type leaves it") << "Binary" << true << "before";
        QTest::newRow("missing empties it") << "NONE" << false << "";
        QTest::newRow("too long counts as missing") << "Long" << false << "";
    }
    void getKeyValue() {
        QFETCH(QString, name);
        QFETCH(bool, found);
        QFETCH(QString, value);
        TestPrefix p;
        QByteArray withLong = kRegistry;
        withLong.replace("\"Number\"", "\"Long\"=\"" + QByteArray(1024, 'x') + "\"\r\n\"Long1023\"=\"" +
                                             QByteArray(1023, 'x') + "\"\n\"Utf16\"=hex(1):43,00,3a,00,5c,00\n\"Number\"");
        p.write(p.prefix() + "/system.reg", withLong);
        QString got = "before";
        QCOMPARE(GetKeyValue(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", name, got), found);
        QCOMPARE(got, value);
        QString other = "x";
        QVERIFY(!GetKeyValue(0x80000001, "SOFTWARE\\Microsoft\\Shared Tools\\MSINFO", "PATH", other));
    }

    void startSysInfo_data() {
        QTest::addColumn<QByteArray>("registry");
        QTest::addColumn<bool>("toolInFolder");
        QTest::addColumn<int>("answer");      // the shell's
        QTest::addColumn<QStringList>("started");
        QTest::addColumn<bool>("message");
        const QByteArray first = "[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO]\n\"PATH\"=\"C:\\\\TOOLS\\\\MSINFO32.EXE\"\n";
        const QByteArray second = "[Software\\\\Microsoft\\\\Shared Tools Location]\n\"MSINFO\"=\"C:\\\\SHARED\"\n";
        QTest::newRow("first value wins") << (first + second) << true << 42 << QStringList{"C:\\TOOLS\\MSINFO32.EXE"} << false;
        QTest::newRow("first fails: no second try") << (first + second) << true << 2 << QStringList{"C:\\TOOLS\\MSINFO32.EXE"} << true;
        QTest::newRow("second, tool there") << second << true << 42 << QStringList{"C:\\SHARED\\MSINFO32.EXE"} << false;
        QTest::newRow("second, no tool") << second << false << 42 << QStringList{} << true;
        QTest::newRow("neither") << QByteArray() << true << 42 << QStringList{} << true;
        QTest::newRow("first of another type: empty path") << QByteArray("[Software\\\\Microsoft\\\\Shared Tools\\\\MSINFO]\n\"PATH\"=hex:41\n") << true << 2 << QStringList{""} << true;
    }
    void startSysInfo() {
        QFETCH(QByteArray, registry);
        QFETCH(bool, toolInFolder);
        QFETCH(int, answer);
        QFETCH(QStringList, started);
        QFETCH(bool, message);
        TestPrefix p;
        p.write(p.prefix() + "/system.reg", "WINE REGISTRY Version 2\n" + registry);
        if (toolInFolder)
            p.write(p.driveC() + "/SHARED/msinfo32.exe", "");
        RecordingShell shell(answer);
        ScriptedPrompter script;
        SysInfo::StartSysInfo();
        QStringList targets;
        for (const auto& r : shell.requests)
            targets << r.target;
        QCOMPARE(targets, started);
        const platform::Message unavailable{"Quarn", "System Information Is Unavailable At This Time",
                                            platform::Buttons::Ok, platform::Icon::None, 0};
        QCOMPARE(script.shown(), message ? QList<platform::Message>{unavailable} : QList<platform::Message>{});
    }

    void theBox() {
        TestPrefix p;
        RecordingShell shell;
        frmAbout box(nullptr);
        QCOMPARE(box.windowTitle(), u"About Quarn");
        QCOMPARE(box.ui()->lblVersion->text(), u"1.0.12");
        QCOMPARE(frmAbout::VersionText("1.00.0012"), u"1.0.12");
        QCOMPARE(box.ui()->client->size(), QSize(430, 232));
        QCOMPARE(box.ui()->Label1->text(), u"quarn.example.org");
        QVERIFY(box.ui()->Label1->font().underline());
        QTest::mouseClick(box.ui()->Label1, Qt::LeftButton);
        QCOMPARE(shell.requests.size(), 1);
        QCOMPARE(shell.requests[0].target, u"https://quarn.example.org/");
        // The hidden System Info holds the focus: the activation key starts the tool.
        box.show();
        box.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&box));
        QCOMPARE(QApplication::focusWidget(), box.ui()->cmdSysInfo);
        ScriptedPrompter script;
        QTest::keyClick(box.ui()->cmdSysInfo, Qt::Key_Space);
        QCOMPARE(script.shown().size(), 1); // no registry here: unavailable
        QVERIFY(box.isVisible());
    }
};

QTEST_MAIN(TestFrmAbout)
#include "tst_frmabout.moc"
