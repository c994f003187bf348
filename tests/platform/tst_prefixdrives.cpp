// The office share put into the prefix: its drive and \\server\share links
// (prefix_drives.txt) and the network drive's mark through a stand-in wine
// (network_marks.txt).

#include "platform/win/WinPath.h"
#include "platform/wine/PrefixDrives.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QTest>

#include <unistd.h>

using namespace platform;

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

class TestPrefixDrives : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void links_data() { AddCases("platform/prefix_drives.txt"); }
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
        if (call.startsWith("unlink")) {
            answer = UnlinkShare(row["letter"], server, share, kTo, call.section(u' ', 1));
            answer = answer.isEmpty() ? "done" : "why " + answer;
        } else {
            const auto o = LinkShare(row["letter"], server, share, kTo, call == u"replace");
            answer = o.done ? "done" : !o.taken.isEmpty() ? "taken " + o.taken : "why " + o.why;
            QVERIFY(o.done || o.taken.isEmpty() != o.why.isEmpty());
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

    void marks_data() { AddCases("platform/network_marks.txt"); }
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

QTEST_MAIN(TestPrefixDrives)
#include "tst_prefixdrives.moc"
