// Where the suite's prefix is found: the search on homes built here (the
// table is prefixes.txt), and the order of the sources. Then the office share
// put into the prefix: its drive and \\server\share links (prefix_drives.txt)
// and the network drive's mark through a stand-in wine (network_marks.txt).

#include "platform/win/WinPath.h"
#include "platform/wine/PrefixDrives.h"
#include "platform/wine/WinePrefixes.h"
#include "tests/support/Cases.h"
#include "tests/support/StoppedShare.h"
#include "tests/support/TestPrefix.h"

#include <QElapsedTimer>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

using namespace platform;

// Builds a home from a case's field (see prefixes.txt).
static void Build(const TestPrefix& home, const QString& field) {
    for (const QString& item : field.split(u';', Qt::SkipEmptyParts)) {
        const QString kind = item.section(u':', 0, 0), dir = home.at(item.section(u':', 1));
        if (kind == u"SUITE" || kind == u"BARE")
            home.write(dir + "/drive_c/windows/" + (kind == u"SUITE" ? "QUARN2.INI" : "win.ini"),
                       "[LOCAL]\r\n");
        else if (kind == u"VALUATOR")
            home.write(dir + "/drive_c/Valuator/QUARN2.INI", "[LOCAL]\r\n"),
                home.makeDir(dir + "/drive_c/windows");
        else
            home.write(home.at(item.section(u'=', 0, 0)), item.section(u'=', 1).toUtf8());
    }
}

// The prefix chosen for a home, and why: "source manager:name".
static QString Chosen(const TestPrefix& home, const QString& given = {}) {
    const PrefixChoice c = ChoosePrefix(given, home.root());
    return SourceText(c.source) + u' ' + ManagerName(c.place.manager) + u':' + c.place.name;
}

static const QString kTo = QStringLiteral("/run/user/0/gvfs/smb-share:server=office,share=data");

static QString Expand(QString text) {
    return text.replace("<to>", kTo).replace("<pid>", QString::number(::getpid()));
}

// A table's "why <words>" asks for a reason holding those words.
static bool Answers(const QString& answer, const QString& expected) {
    return expected.startsWith("why ")
               ? answer.startsWith("why ") && answer.contains(expected.mid(4))
               : answer == expected;
}

class TestWinePrefixes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    // Without a thread to search with (no room for its stack), the search
    // finds nothing at once and says a place did not answer. First, before
    // any thread ends and leaves its stack for another.
    void searchWithoutThreads() {
#ifdef __SANITIZE_ADDRESS__
        QSKIP("the address sanitizer needs the address space this test takes away");
#endif
        TestPrefix home;
        Build(home, "SUITE:.wine");
        const QByteArray all = TestPrefix::read(QStringLiteral("/proc/self/status"));
        QVERIFY(all.contains("VmSize:"));
        const QByteArray vm = all.mid(all.indexOf("VmSize:")).split('\n').value(0);
        rlimit saved{};
        QVERIFY(::getrlimit(RLIMIT_AS, &saved) == 0);
        rlimit tight = saved;
        tight.rlim_cur = (vm.mid(7).trimmed().split(' ').value(0).toULongLong() + 4096) * 1024;
        QVERIFY(::setrlimit(RLIMIT_AS, &tight) == 0);
        PrefixSearch s;
        try {
            s = SearchPrefixes(home.root());
        } catch (...) {
            s.searched = {"the search raised"};
        }
        ::setrlimit(RLIMIT_AS, &saved);
        QCOMPARE(s.searched.size(), 8);
        QCOMPARE((QList<qsizetype>{s.found.size(), s.timedOut}), (QList<qsizetype>{0, 1}));
    }

    // A home on a share that stopped answering: the search gives up after
    // the bound, and a second one at once, without another thread.
    void searchOnStoppedHome() {
        TestPrefix home;
        Build(home, "SUITE:.wine");
        StoppedShare stopped({home.root()}, 300);
        QElapsedTimer clock;
        clock.start();
        const bool firstLate = SearchPrefixes(home.root()).timedOut;
        const bool secondLate = SearchPrefixes(home.root()).timedOut;
        const QList<qint64> got{firstLate, secondLate, clock.elapsed() < 500, stopped.askedHere()};
        QVERIFY(stopped.answer());
        QCOMPARE(got, (QList<qint64>{1, 1, 1, 0}));
    }

    void search_data() {
        AddCases("platform/prefixes.txt");
    }
    void search() {
        QFETCH(Row, row);
        TestPrefix home;
        Build(home, row["home"]);
        const PrefixSearch s = SearchPrefixes(home.root());
        QStringList found;
        for (const PrefixPlace& p : s.found)
            found << ManagerName(p.manager) + u':' + p.name;
        QCOMPARE(found.join(u';'), row["found"]);
        QCOMPARE(s.searched.size(), 8);
    }

    // --prefix, then $WINEPREFIX, then the remembered choice, then the search;
    // a folder given by hand is still known as its manager's.
    void choice() {
        TestPrefix home;
        Build(home, "SUITE:.wine;SUITE:.local/share/bottles/bottles/Office;.config/lutris/games/"
                    "o-1.yml=wine:\n  version: v1\ngame:\n  prefix: ~/Games/o\n;"
                    ".local/share/lutris/runners/wine/v1/bin/wine=");
        QFile(home.at(".local/share/lutris/runners/wine/v1/bin/wine"))
            .setPermissions(QFile::ExeOwner | QFile::ReadOwner);
        const ScopedEnv env({{"WINEPREFIX", ""}, {"XDG_CONFIG_HOME", home.at("config")}});
        QCOMPARE(Chosen(home), u"several suites found Wine:.wine");
        RememberPrefix({Manager::Folder, {}, home.at(".local/share/bottles/bottles/Office"), {}});
        QCOMPARE(Chosen(home), u"your choice Bottles:Office");
        qputenv("WINEPREFIX", QFile::encodeName(home.at(".wine")));
        QCOMPARE(Chosen(home), u"$WINEPREFIX Wine:.wine");
        const PrefixChoice given = ChoosePrefix(home.at("Games/o/"), home.root());
        QCOMPARE(SourceText(given.source) + u' ' + ManagerName(given.place.manager),
                 u"--prefix Lutris");
        QCOMPARE(given.place.wine, home.at(".local/share/lutris/runners/wine/v1/bin/wine"));
        qunsetenv("WINEPREFIX");
        QVERIFY(QDir(home.at(".local/share/bottles")).removeRecursively()); // the choice is gone
        QCOMPARE(Chosen(home), u"the only suite found Wine:.wine");
    }

    // A prefix on a share that stopped answering, given or remembered, is
    // given up on after the bound, never asked on the caller's thread.
    void prefixOnStoppedShare() {
        TestPrefix home;
        QTemporaryDir share; // a share of its own, beside the home
        const QString prefix = share.path() + "/prefix";
        home.write(prefix + "/drive_c/windows/QUARN2.INI", "[LOCAL]\r\n");
        StoppedShare stopped({share.path()});
        const ScopedEnv env({{"WINEPREFIX", ""}, {"XDG_CONFIG_HOME", home.at("config")}});
        const QString given = Chosen(home, prefix);
        RememberPrefix({Manager::Folder, {}, prefix, {}});
        const QStringList got{given, Chosen(home),
                              SameFolder(prefix, prefix + "/") ? "same" : "not same",
                              QString::number(stopped.askedHere())};
        QVERIFY(stopped.answer());
        QCOMPARE(got,
                 (QStringList{"--prefix Folder:prefix", "no suite found Wine:.wine", "same", "0"}));
    }

    void links_data() {
        AddCases("platform/prefix_drives.txt");
    }
    void links() {
        QFETCH(Row, row);
        TestPrefix p;
        const QString dosdevices = p.prefix() + "/dosdevices";
        QVERIFY(QDir(dosdevices).removeRecursively());
        const bool none = row["before"] == u"-";
        if (!none)
            p.makeDir(dosdevices);
        for (const QString& item :
             (none ? QString() : Expand(row["before"])).split(u' ', Qt::SkipEmptyParts)) {
            const QString path = dosdevices + u'/' + item.section("->", 0, 0);
            p.makeDir(QFileInfo(path).path());
            if (item.contains("->"))
                QVERIFY(QFile::link(item.section("->", 1), path));
            else if (item.endsWith(u'/'))
                p.makeDir(path);
            else
                p.write(path, "x");
        }
        const QString call = row["call"], server = row["unc"].section(u'/', 0, 0),
                      share = row["unc"].section(u'/', 1);
        QString answer;
        if (call.startsWith("unlink")) { // unlink [previous drive|previous unc]
            const QString previous = call.section(u' ', 1);
            answer = UnlinkShare(row["letter"], server, share, kTo, previous.section(u'|', 0, 0),
                                 previous.section(u'|', 1));
            answer = answer.isEmpty() ? "done" : "why " + answer;
        } else {
            const auto o = LinkShare(row["letter"], server, share, kTo, call == u"replace");
            answer = o.done             ? "done"
                     : !o.why.isEmpty() ? "why " + o.why
                                        : "taken " + o.taken + u'|' + o.uncTaken;
            QVERIFY(o.done || (o.taken + o.uncTaken).isEmpty() != o.why.isEmpty());
        }
        QVERIFY2(Answers(answer, Expand(row["answer"])), qPrintable(answer));
        // "-": no dosdevices folder.
        QCOMPARE(QFileInfo(dosdevices).isDir() ? TestPrefix::tree(dosdevices).join(u' ') : "-",
                 Expand(row["after"]));
    }

    void driveTarget() {
        TestPrefix p;
        QCOMPARE((QStringList{DriveTarget("d"), DriveTarget("Q:"), DriveTarget("C:")}),
                 (QStringList{p.driveD(), "", ""}));
    }

    void marks_data() {
        AddCases("platform/network_marks.txt");
    }
    void marks() {
        QFETCH(Row, row);
        TestPrefix p;
        const QString root = QFileInfo(p.root()).canonicalFilePath(), wine = root + "/bin/wine";
        if (row["stand_in"] != u"-") {
            p.write(wine,
                    ("#!/bin/sh\nprintf '%s\\n' \"$0\" \"$@\" \"$WINEPREFIX\" \"$WINEDEBUG\" >" +
                     root + "/record\n" + row["stand_in"])
                        .toUtf8());
            QFile::setPermissions(wine, QFile::ReadOwner | QFile::ExeOwner);
        }
        if (row["held"] != u"-") // "-": Wine never ran in the prefix
            p.write(p.prefix() + "/system.reg",
                    row["held"] == u"1" ? "[Software\\\\Wine\\\\Drives] 1\n\"n:\"=\"network\"\n"
                                        : "[Software\\\\Wine] 1\n");
        // The prefix in force, not one $WINEPREFIX names.
        const ScopedEnv env({{"PATH", root + "/bin"}, {"WINEDEBUG", ""}, {"WINEPREFIX", root}});
        const ScopedWinePrefix inForce(p.prefix());
        SetMarkBoundForTest(row["bound"].toInt());
        const MarkOutcome o = MarkNetworkDrive(row["letter"], row["network"] == u"1");
        SetMarkBoundForTest(60000);
        const QString answer = o.done ? "done" : o.noWine ? "noWine" : "why " + o.why;
        QVERIFY2(Answers(answer, row["answer"]), qPrintable(answer));
        const QString record =
            row["record"].replace("<wine>", wine).replace("<prefix>", p.prefix());
        QCOMPARE(QString::fromUtf8(TestPrefix::read(root + "/record")),
                 record.isEmpty() ? QString() : record.split(u'|').join(u'\n') + u'\n');
    }
};

QTEST_GUILESS_MAIN(TestWinePrefixes)
#include "tst_wineprefixes.moc"
