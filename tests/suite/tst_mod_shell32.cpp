// GShell's requests and messages through a recording shell; StrReplace at its
// edges; the desktop shell's own answers and how it finds the application for
// a document, and which Wine starts a program in each kind of prefix.

#include "platform/desktop/DesktopApps.h"
#include "platform/desktop/DesktopShell.h"
#include "platform/win/BoundedAsk.h"
#include "platform/wine/WinePrefixes.h"
#include "suite/mod_Shell32.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QApplication>
#include <QProcess>
#include <QTest>

#include <cstdio>
#include <cstdlib>

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
        bool pipes = false;
        for (const QString& file : row.rest("files")) {
            const QString path = p.root() + u'/' + file.section(u'=', 0, 0);
            const QString content = file.section(u'=', 1);
            p.write(path, content.toLatin1()); // with its folders
            if (content == u"<fifo>")
                QVERIFY(QFile::remove(path) &&
                        ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
            pipes = pipes || content == u"<fifo>";
        }
        // As a system has them: the viewers' programs, and the type index
        // that installing a desktop file makes (the indexer would wait on a pipe).
        for (const char* program : {"viewer", "v", "hex", "plain"}) {
            p.write(p.root() + "/bin/" + program, "#!/bin/sh\n");
            QFile::setPermissions(p.root() + "/bin/" + program, QFile::ReadOwner | QFile::ExeOwner);
        }
        for (const char* dir : {"/data/applications", "/system/applications"})
            if (!pipes && QFileInfo(p.root() + dir).isDir())
                QCOMPARE(QProcess::execute("update-desktop-database", {p.root() + dir}), 0);
        const ScopedEnv path({{"PATH", p.root() + "/bin:" + qEnvironmentVariable("PATH")}});
        // GIO reads the XDG folders once a process: each case asks in its own.
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(),
                    {QStringLiteral("--desktop-application-for"), p.root() + "/quarn.chm"});
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(QString::fromUtf8(child.readAllStandardOutput()),
                 row["application"] == u"-" ? QString() : row["application"]);
    }
};

int main(int argc, char** argv) {
    if (argc == 3 && qstrcmp(argv[1], "--desktop-application-for") == 0) {
        QCoreApplication app(argc, argv);
        platform::SetAnswerBound(2000);
        std::fputs(platform::DesktopApplicationFor(QString::fromLocal8Bit(argv[2])).toUtf8(),
                   stdout);
        std::fflush(stdout);
        std::_Exit(0); // a reader GIO left waiting on a pipe does not hold the exit
    }
    QApplication app(argc, argv);
    TestModShell32 test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}
#include "tst_mod_shell32.moc"
