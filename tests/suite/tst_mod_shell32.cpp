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

#include <QScopeGuard>
#include <QTest>

#include <sys/stat.h>

using namespace mod_Shell32;

class TestModShell32 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void gShell_data() { AddCases("suite/shell_answers.txt", 0); }
    void gShell() {
        QFETCH(QStringList, c);
        RecordingShell shell(c[4].toInt());
        ScriptedPrompter script;
        QCOMPARE(GShell(c[1], 3, c[2], c[3], "open", nullptr), c[6].isEmpty());
        QCOMPARE(shell.requests,
                 (QList<platform::ShellRequest>{{"open", c[1], c[2], c[3], c[5].toInt()}}));
        QList<platform::Message> shown;
        if (!c[6].isEmpty())
            shown.append({"Quarn", c[6], platform::Buttons::Ok, platform::Icon::Information, 0});
        QCOMPARE(script.shown(), shown);
    }

    void strReplace_data() { AddCases("suite/str_replace.txt"); }
    void strReplace() {
        QFETCH(QStringList, c); // text, find, replacement, result
        QString s = c[0];
        QCOMPARE(StrReplace(s, c[1], c[2]), c[3]);
        QCOMPARE(s, c[3]); // changed in place
    }

    void desktopShellAnswers() {
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/QUARN.CHM", "ITSF");
        const ScopedXdgDirs xdg(p.root() + "/xdg"); // no help viewer
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(p.root())); // no wine
        platform::DesktopShell shell;
        const auto answer = [&](const QString& t) { return shell.execute({"open", t, "", "", 1}); };
        QCOMPARE(answer("C:\\VALUATOR\\NONE.CHM"), 2);
        QCOMPARE(answer("C:\\NODIR\\NONE.CHM"), 3);
        QCOMPARE(answer("Q:\\A.CHM"), 3);
        QCOMPARE(answer(""), 2); // not the current folder
        QCOMPARE(answer("C:\\VALUATOR\\QUARN.CHM"), 31);
    }

    void windowsProgramRunners_data() { AddCases("suite/runners.txt", 0); }
    void windowsProgramRunners() {
        QFETCH(QStringList, c);
        if (c[0] == u"CrossOver not installed" && QFile::exists("/opt/cxoffice/bin/wine"))
            QSKIP("CrossOver is installed on this machine");
        TestPrefix p;
        const QString root = QFileInfo(p.root()).canonicalFilePath();
        p.write(p.driveC() + "/KAV/Kav.exe", "MZ");
        for (const QString& runner : c[4].split(u' ', Qt::SkipEmptyParts)) {
            p.write(root + u'/' + runner, "#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" \"$WINEPREFIX\" "
                                          "\"$(pwd -P)\" >\"$WINEPREFIX/../record\"\n");
            QFile::setPermissions(root + u'/' + runner, QFile::ReadOwner | QFile::ExeOwner);
        }
        const QByteArray path = qgetenv("PATH"), home = qgetenv("HOME");
        const auto restore = qScopeGuard([&] { qputenv("PATH", path), qputenv("HOME", home); });
        qputenv("PATH", QFile::encodeName(root + "/bin"));
        qputenv("HOME", QFile::encodeName(root + "/home"));
        auto manager = platform::Manager::Wine;
        while (platform::ManagerName(manager) != c[1])
            manager = platform::Manager(int(manager) + 1);
        platform::UsePrefix({manager, c[2], root + "/prefix", c[3].replace("<root>", root)});
        QCOMPARE(platform::DesktopShell().execute({"open", "C:\\KAV\\Kav.exe", c[5], c[6], 1}),
                 c[7].toInt());
        if (!c[8].isEmpty())
            QTRY_COMPARE(QString::fromUtf8(TestPrefix::read(root + "/record")),
                         c[8].replace("<root>", root).split(u'|').join(u'\n') + u'\n');
    }

    void desktopApplication_data() { AddCases("suite/desktop_apps.txt", 0); }
    void desktopApplication() {
        QFETCH(QStringList, c);
        TestPrefix p; // its root holds the user's data/ and config/, the system's system/
        const ScopedXdgDirs xdg(p.root());
        for (const QString& file : c.mid(2)) {
            const QString path = p.root() + u'/' + file.section(u'=', 0, 0);
            const QString content = file.section(u'=', 1);
            p.write(path, content.toLatin1()); // with its folders
            if (content == u"<fifo>")
                QVERIFY(QFile::remove(path) &&
                        ::mkfifo(QFile::encodeName(path).constData(), 0600) == 0);
        }
        QCOMPARE(platform::DesktopApplicationFor(p.root() + "/quarn.chm"),
                 c[1] == u"-" ? QString() : c[1]);
    }
};

QTEST_MAIN(TestModShell32)
#include "tst_mod_shell32.moc"
