// GShell's requests and messages through a recording shell; StrReplace at its
// edges; the desktop shell's own answers and how it finds the application for
// a document, and which Wine starts a program in each kind of prefix.

#include "platform/desktop/DesktopApps.h"
#include "platform/desktop/DesktopShell.h"
#include "platform/wine/WinePrefixes.h"
#include "suite/mod_Shell32.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

#include <sys/stat.h>

using namespace mod_Shell32;

class TestModShell32 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gShell_data() { AddCases("suite/shell_answers.txt", "name"); }
    void gShell() {
        QFETCH(Row, row);
        const QString target = row["target"], parameters = row["parameters"],
                      directory = row["directory"], message = row["message"];
        RecordingShell shell(row["answer"].toInt());
        ScriptedPrompter script;
        QCOMPARE(GShell(target, 3, parameters, directory, "open", nullptr), message.isEmpty());
        QCOMPARE(shell.requests,
                 (QList<platform::ShellRequest>{
                     {"open", target, parameters, directory, row["state"].toInt()}}));
        QCOMPARE(script.shown(), QList<platform::Message>(message.isEmpty() ? 0 : 1,
                                                          {"Quarn", message, platform::Buttons::Ok,
                                                           platform::Icon::Information, 0}));
    }

    void strReplace_data() { AddCases("suite/str_replace.txt", "result"); }
    void strReplace() {
        QFETCH(Row, row);
        QString s = row["text"];
        QCOMPARE(StrReplace(s, row["find"], row["replacement"]), row["result"]);
        QCOMPARE(s, row["result"]); // changed in place
    }

    void desktopShell_data() { AddCases("suite/desktop_shell.txt"); }
    void desktopShell() {
        QFETCH(Row, row);
        if (row["case"] == u"CrossOver not installed" && QFile::exists("/opt/cxoffice/bin/wine"))
            QSKIP("CrossOver is installed on this machine");
        TestPrefix p;
        const QString root = QFileInfo(p.root()).canonicalFilePath();
        p.write(p.driveC() + "/KAV/Kav.exe", "MZ");
        p.write(p.driveC() + "/VALUATOR/QUARN.CHM", "ITSF");
        const ScopedXdgDirs xdg(root + "/xdg"); // no help viewer
        for (const QString& runner : row["stand_ins"].split(u' ', Qt::SkipEmptyParts)) {
            p.write(root + u'/' + runner, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" \"$WINEPREFIX\" "
                                          "\"$(pwd -P)\" >\"$WINEPREFIX/../record\"\n");
            QFile::setPermissions(root + u'/' + runner, QFile::ReadOwner | QFile::ExeOwner);
        }
        const ScopedEnv env({{"PATH", root + "/bin"}, {"HOME", root + "/home"}});
        auto manager = platform::Manager::Wine;
        while (platform::ManagerName(manager) != row["manager"])
            manager = platform::Manager(int(manager) + 1);
        platform::UsePrefix(
            {manager, row["place"], root + "/prefix", row["wine"].replace("<root>", root)});
        QCOMPARE(platform::DesktopShell().execute(
                     {"open", row["target"], row["parameters"], row["directory"], 1}),
                 row["answer"].toInt());
        if (!row["record"].isEmpty())
            QTRY_COMPARE(QString::fromUtf8(TestPrefix::read(root + "/record")),
                         row["record"].replace("<root>", root).split(u'|').join(u'\n') + u'\n');
    }

    void desktopApplication_data() { AddCases("suite/desktop_apps.txt", "name"); }
    void desktopApplication() {
        QFETCH(Row, row);
        TestPrefix p; // its root holds the user's data/ and config/, the system's system/
        const ScopedXdgDirs xdg(p.root());
        for (const QString& file : row.rest("files")) {
            const QString path = p.root() + u'/' + file.section(u'=', 0, 0);
            const QString content = file.section(u'=', 1);
            p.write(path, content.toLatin1()); // with its folders
            if (content == u"<fifo>")
                QVERIFY(QFile::remove(path) &&
                        ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        }
        QCOMPARE(platform::DesktopApplicationFor(p.root() + "/quarn.chm"),
                 row["application"] == u"-" ? QString() : row["application"]);
    }
};

QTEST_MAIN(TestModShell32)
#include "tst_mod_shell32.moc"
