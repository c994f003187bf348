// GShell's answers, messages, title and window states through a recording
// shell; StrReplace at its edges; the desktop shell's own answers and how
// it finds the application for a document.

#include "platform/DesktopApps.h"
#include "platform/DesktopShell.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "suite/mod_Shell32.h"

#include <QDir>
#include <QScopeGuard>
#include <QTemporaryDir>

#include <QTest>
#include <sys/stat.h>

using namespace mod_Shell32;
using platform::ShellRequest;

using XdgFiles = QMap<QString, QByteArray>;

class TestModShell32 : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void answers_data() {
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message"); // empty: success
        QTest::newRow("0") << 0 << "Out of memory";
        QTest::newRow("2") << 2 << "File not found";
        QTest::newRow("3") << 3 << "Path not found";
        QTest::newRow("4")
            << 4 << "An error occurred occurred whilst trying to open or print the selected file.";
        QTest::newRow("5") << 5 << "Path/file access error";
        QTest::newRow("8") << 8 << "Out of memory";
        QTest::newRow("11") << 11 << "The executable file is invalid or corrupt";
        QTest::newRow("25")
            << 25 << "An error occurred occurred whilst trying to open or print the selected file.";
        QTest::newRow("26") << 26 << "A sharing violation occurred.";
        QTest::newRow("27") << 27 << "This file type does not have a valid file association.";
        QTest::newRow("28")
            << 28 << "The file could not be opened due to time out. Please try again in a moment.";
        QTest::newRow("29") << 29
                            << "The file could not be opened because the DDE transaction failed. "
                               "Please try again in a moment.";
        QTest::newRow("30") << 30
                            << "The file could not be opened because the target application is "
                               "busy. Please try again in a moment.";
        QTest::newRow("31") << 31 << "No application is associated with this file type.";
        QTest::newRow("32") << 32 << "The specified dynamic-link library was not found.";
        QTest::newRow("33 accepted") << 33 << "";
        QTest::newRow("negative counts as accepted") << -1 << "";
    }
    void answers() {
        QFETCH(int, answer);
        QFETCH(QString, message);
        RecordingShell shell(answer);
        ScriptedPrompter script;
        QCOMPARE(GShell("quarn.chm", 3, "", "", "open", nullptr), message.isEmpty());
        if (message.isEmpty()) {
            QVERIFY(script.shown().isEmpty());
        } else {
            QCOMPARE(script.shown(),
                     (QList<platform::Message>{{"Quarn", message, platform::Buttons::Ok,
                                                platform::Icon::Information, 0}}));
        }
    }

    void windowStates_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<QString>("parameters");
        QTest::addColumn<QString>("directory");
        QTest::addColumn<int>("shown");
        QTest::newRow("every caller's way: normal") << "C:\\KAV\\Kav.exe"
                                                    << ""
                                                    << "" << 1;
        QTest::newRow("program with parameters: hidden") << "c:\\kav\\kav.exe"
                                                         << "/x"
                                                         << "" << 0;
        QTest::newRow("document with a directory: as asked") << "C:\\HELP.CHM"
                                                             << ""
                                                             << "C:\\" << 3;
        QTest::newRow(".EXE anywhere in the name") << "C:\\A.EXE.TXT"
                                                   << "p"
                                                   << "" << 0;
    }
    void windowStates() {
        QFETCH(QString, target);
        QFETCH(QString, parameters);
        QFETCH(QString, directory);
        QFETCH(int, shown);
        RecordingShell shell;
        QVERIFY(GShell(target, 3, parameters, directory, "open", nullptr));
        QCOMPARE(shell.requests,
                 (QList<ShellRequest>{{"open", target, parameters, directory, shown}}));
    }

    void strReplace_data() {
        QTest::addColumn<QString>("s");
        QTest::addColumn<QString>("find");
        QTest::addColumn<QString>("replacement");
        QTest::addColumn<QString>("expected");
        QTest::newRow("underscores") << "My_App_Name"
                                     << "_"
                                     << " "
                                     << "My App Name";
        QTest::newRow("none") << "Quarn"
                              << "_"
                              << " "
                              << "Quarn";
        QTest::newRow("replacement holds find") << "a_b"
                                                << "_"
                                                << "__"
                                                << "a__b";
        QTest::newRow("case-sensitive") << "aAa"
                                        << "a"
                                        << "x"
                                        << "xAx";
        QTest::newRow("empty find") << "abc"
                                    << ""
                                    << "x"
                                    << "abc";
    }
    void strReplace() {
        QFETCH(QString, s);
        QFETCH(QString, find);
        QFETCH(QString, replacement);
        QFETCH(QString, expected);
        QCOMPARE(StrReplace(s, find, replacement), expected);
        QCOMPARE(s, expected);
    }

    void desktopShellAnswers_data() {
        QTest::addColumn<QString>("target");
        QTest::addColumn<int>("answer");
        QTest::newRow("missing file") << "C:\\VALUATOR\\NONE.CHM" << 2;
        QTest::newRow("missing folder") << "C:\\NODIR\\NONE.CHM" << 3;
        QTest::newRow("unmapped drive") << "Q:\\A.CHM" << 3;
        QTest::newRow("program without wine") << "C:\\KAV\\Kav.exe" << 31;
        QTest::newRow("nothing: no file, not the current folder") << "" << 2;
        QTest::newRow("help file, no viewer on the desktop") << "C:\\VALUATOR\\QUARN.CHM" << 31;
    }
    void desktopShellAnswers() {
        QFETCH(QString, target);
        QFETCH(int, answer);
        TestPrefix p;
        p.write(p.driveC() + "/KAV/KAV.EXE", "MZ");
        p.write(p.driveC() + "/VALUATOR/QUARN.CHM", "ITSF");
        const ScopedXdgDirs xdg(p.root() + "/xdg");
        const QByteArray path = qgetenv("PATH");
        const auto restore = qScopeGuard([&] { qputenv("PATH", path); });
        qputenv("PATH", QFile::encodeName(p.root())); // no wine here
        platform::DesktopShell shell;
        QCOMPARE(shell.execute({"open", target, "", "", 1}), answer);
    }

    // Files under a private XDG tree (the user's data/ and config/, the
    // system's system/) and the application expected for a help file. A file
    // given as "<fifo>" is a named pipe, which must not be waited on.
    void desktopApplication_data() {
        QTest::addColumn<XdgFiles>("files");
        QTest::addColumn<QString>("expected");
        const QByteArray viewer = "[Desktop Entry]\nType=Application\nExec=viewer %f\n"
                                  "MimeType=application/vnd.ms-htmlhelp;\n";
        const QByteArray byAlias =
            "[Desktop Entry]\nExec=v %f\nMimeType=text/x-foo;application/x-chm\n";
        const QByteArray anyFile =
            "[Desktop Entry]\nExec=hex %f\nMimeType=application/octet-stream;\n";
        const QByteArray plain = "[Desktop Entry]\nExec=plain %f\n";
        using Files = XdgFiles;
        QTest::newRow("nothing installed") << Files{} << "";
        QTest::newRow("a viewer lists the type")
            << Files{{"data/applications/viewer.desktop", viewer}} << "viewer.desktop";
        QTest::newRow("a viewer lists an alias")
            << Files{{"data/applications/v.desktop", byAlias}} << "v.desktop";
        QTest::newRow("any file is no viewer")
            << Files{{"data/applications/hex.desktop", anyFile}} << "";
        QTest::newRow("hidden entry")
            << Files{{"data/applications/viewer.desktop", viewer + "Hidden=true\n"}} << "";
        QTest::newRow("default whose file is gone")
            << Files{{"config/mimeapps.list",
                      "[Default Applications]\napplication/vnd.ms-htmlhelp=gone.desktop\n"}}
            << "";
        QTest::newRow("default in a vendor folder")
            << Files{{"config/mimeapps.list",
                      "[Default Applications]\napplication/vnd.ms-htmlhelp=kde-view.desktop;\n"},
                     {"data/applications/kde/view.desktop", plain}}
            << "kde-view.desktop";
        QTest::newRow("the user removed the only viewer")
            << Files{{"config/mimeapps.list",
                      "[Removed Associations]\napplication/vnd.ms-htmlhelp=viewer.desktop\n"},
                     {"data/applications/viewer.desktop", viewer}}
            << "";
        QTest::newRow("removal of another leaves the viewer")
            << Files{{"config/mimeapps.list",
                      "[Removed Associations]\napplication/vnd.ms-htmlhelp=old.desktop\n"},
                     {"data/applications/viewer.desktop", viewer}}
            << "viewer.desktop";
        QTest::newRow("a viewer in a subfolder")
            << Files{{"data/applications/kde4/view.desktop", viewer}} << "kde4-view.desktop";
        QTest::newRow("a viewer started over D-Bus")
            << Files{{"data/applications/d.desktop",
                      "[Desktop "
                      "Entry]\nDBusActivatable=true\nMimeType=application/vnd.ms-htmlhelp\n"}}
            << "d.desktop";
        QTest::newRow("blanks in a list")
            << Files{{"config/mimeapps.list", "[Default Applications]\napplication/vnd.ms-htmlhelp "
                                              "= gone.desktop; v.desktop\n"},
                     {"data/applications/v.desktop", plain}}
            << "v.desktop";
        QTest::newRow("a system viewer")
            << Files{{"system/applications/viewer.desktop", viewer}} << "viewer.desktop";
        QTest::newRow("the user's hidden copy hides the system's")
            << Files{{"data/applications/viewer.desktop", "[Desktop Entry]\nHidden=true\n"},
                     {"system/applications/viewer.desktop", viewer}}
            << "";
        QTest::newRow("pipes for the list and the entry")
            << Files{{"config/mimeapps.list", "<fifo>"},
                     {"data/applications/viewer.desktop", "<fifo>"}}
            << "";
        QTest::newRow("binary junk for a list")
            << Files{{"config/mimeapps.list",
                      QByteArray("\0\xff[\n=\n[Default Applications\n", 20)}}
            << "";
    }
    void desktopApplication() {
        QFETCH(XdgFiles, files);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        const ScopedXdgDirs xdg(dir.path());
        for (auto it = files.cbegin(); it != files.cend(); ++it) {
            const QString path = dir.path() + u'/' + it.key();
            QVERIFY(QDir().mkpath(QFileInfo(path).path()));
            if (it.value() == "<fifo>") {
                QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
                continue;
            }
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(it.value());
        }
        QCOMPARE(platform::DesktopApplicationFor(dir.path() + "/quarn.chm"), expected);
    }
};

QTEST_MAIN(TestModShell32)
#include "tst_mod_shell32.moc"
