// Where the suite's prefix is found: the search on homes built here (the
// table is prefixes.txt), and the order of the sources.

#include "platform/WinePrefixes.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

using namespace platform;

namespace {

// Builds a home from a case's field (see prefixes.txt).
void Build(const TestPrefix& home, const QString& field) {
    for (const QString& item : field.split(u';', Qt::SkipEmptyParts)) {
        const QString kind = item.section(u':', 0, 0), dir = home.at(item.section(u':', 1));
        if (kind == u"SUITE" || kind == u"BARE")
            home.write(dir + "/drive_c/windows/" + (kind == u"SUITE" ? "QUARN2.INI" : "win.ini"), "[LOCAL]\r\n");
        else if (kind == u"VALUATOR")
            home.write(dir + "/drive_c/Valuator/QUARN2.INI", "[LOCAL]\r\n"), home.makeDir(dir + "/drive_c/windows");
        else
            home.write(home.at(item.section(u'=', 0, 0)), item.section(u'=', 1).toUtf8());
    }
}

} // namespace

class TestWinePrefixes : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void search_data() { AddCases("platform/prefixes.txt", 0); }
    void search() {
        QFETCH(QStringList, c);
        TestPrefix home;
        Build(home, c[1]);
        const PrefixSearch s = SearchPrefixes(home.root());
        QStringList found;
        for (const PrefixPlace& p : s.found)
            found << ManagerName(p.manager) + u':' + p.name;
        QCOMPARE(found.join(u';'), c[2]);
        QCOMPARE(s.searched.size(), 8);
    }

    // --prefix, then $WINEPREFIX, then the remembered choice, then the search;
    // a folder given by hand is still known as its manager's.
    void choice() {
        TestPrefix home;
        Build(home, "SUITE:.wine;SUITE:.local/share/bottles/bottles/Office;.config/lutris/games/o-1.yml=wine:\n  "
                    "version: v1\ngame:\n  prefix: ~/Games/o\n;.local/share/lutris/runners/wine/v1/bin/wine=");
        QFile(home.at(".local/share/lutris/runners/wine/v1/bin/wine")).setPermissions(QFile::ExeOwner | QFile::ReadOwner);
        qunsetenv("WINEPREFIX");
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(home.at("config")));
        const auto chosen = [&](const QString& given = {}) {
            const PrefixChoice c = ChoosePrefix(given, home.root());
            return SourceText(c.source) + u' ' + ManagerName(c.place.manager) + u':' + c.place.name;
        };
        QCOMPARE(chosen(), u"several suites found Wine:.wine");
        RememberPrefix({Manager::Folder, {}, home.at(".local/share/bottles/bottles/Office"), {}});
        QCOMPARE(chosen(), u"your choice Bottles:Office");
        qputenv("WINEPREFIX", QFile::encodeName(home.at(".wine")));
        QCOMPARE(chosen(), u"$WINEPREFIX Wine:.wine");
        const PrefixChoice given = ChoosePrefix(home.at("Games/o/"), home.root());
        QCOMPARE(SourceText(given.source) + u' ' + ManagerName(given.place.manager), u"--prefix Lutris");
        QCOMPARE(given.place.wine, home.at(".local/share/lutris/runners/wine/v1/bin/wine"));
        qunsetenv("WINEPREFIX");
        QVERIFY(QDir(home.at(".local/share/bottles")).removeRecursively()); // the choice is gone
        QCOMPARE(chosen(), u"the only suite found Wine:.wine");
        qunsetenv("XDG_CONFIG_HOME");
    }
};

QTEST_GUILESS_MAIN(TestWinePrefixes)
#include "tst_wineprefixes.moc"
