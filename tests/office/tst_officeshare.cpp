// The office share in one step, on a throw-away prefix with a folder of the
// test's standing in for GVfs's mount: the share's address, the words for
// each failure, the links made and taken back, a drive set by hand replaced
// and put back, and what is remembered. Then following it: the decision over
// a run of looks, and the folder that stands for the share.

#include "config/WPINI.h"
#include "office/OfficeShare.h"
#include "office/ShareFollow.h"
#include "office/Texts.h"
#include "platform/files/FileLock.h"
#include "platform/win/BoundedAsk.h"
#include "platform/win/DirectoryListing.h"
#include "platform/win/WinPath.h"
#include "platform/wine/PrefixDrives.h"
#include "suite/CopyProcedure.h"
#include "tests/support/Cases.h"
#include "tests/support/FakeShare.h"
#include "tests/support/StoppedShare.h"

#include <QFileInfo>
#include <QTest>

#include <future>

using namespace ShareFollow;
using platform::MountFailure;

struct Fixture : FakeShare {
    QStringList asked;

    // A drive set by hand is replaced: the window's test answers No.
    OfficeShare::Result connect(const QString& share, const QString& drive) {
        return OfficeShare::Connect(state, {share, "jdoe", "", drive}, "pw", false,
                                    [this](const QString& q) {
                                        asked << q;
                                        return true;
                                    });
    }
    QString unc() const {
        return QFileInfo(p.prefix() + "/dosdevices/unc/office/data").symLinkTarget();
    }
    // dosdevices/<name> set by hand to a folder of the test's.
    void byHand(const QString& name, const QString& folder) {
        p.makeDir(p.at(folder));
        p.makeDir(QFileInfo(p.prefix() + "/dosdevices/" + name).path());
        QVERIFY(QFile::link(p.at(folder), p.prefix() + "/dosdevices/" + name));
    }
    OfficeShare::Result disconnect() {
        return OfficeShare::Disconnect(state, OfficeShare::Remembered(state));
    }
    QString ini() const { return p.driveC() + "/VALUATOR/QUARN2.INI"; }
};

class TestOfficeShare : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void addresses_data() { AddCases("office/share_addresses.txt"); }
    void addresses() {
        QFETCH(Row, row);
        QString why;
        const auto a = platform::ParseShareAddress(row["text"], &why);
        const QStringList got = a ? QStringList{a->server, a->share} : QStringList{"-", "-"};
        QCOMPARE(got, row.fields({"server", "share"}));
        QCOMPARE(why.isEmpty(), bool(a)); // a refusal says why
    }

    void failures_data() { AddCases("office/share_failures.txt"); }
    void failures() {
        QFETCH(Row, row);
        const QStringList kinds{"None",        "WrongPassword",   "PasswordNeeded", "UnknownServer",
                                "NoSuchShare", "ProtocolRefused", "NoAnswer",       "NoFuseFolder",
                                "NoGvfs",      "NoSmbBackend",    "Other"};
        Fixture f;
        f.failure = MountFailure(kinds.indexOf(row["failure"]));
        const OfficeShare::Result r = f.connect("\\\\office\\data", "N:");
        QCOMPARE(r.ok, false);
        QCOMPARE(r.text, row["text"]);
        QCOMPARE(r.passwordNeeded, f.failure == MountFailure::PasswordNeeded);
        // Nothing half made.
        QCOMPARE(platform::DriveTarget("N:") +
                     WPINI::ReadIni("C:\\VALUATOR\\QUARN2.INI", "OFFICESHARE", "Share", ""),
                 QString());
    }

    void connectRemembersAndDisconnectTakesBack() {
        Fixture f;
        const OfficeShare::Result r = f.connect("smb://office/data/", "n");
        QVERIFY2(r.ok, qPrintable(r.text));
        QCOMPARE(r.text, u"Connected: \\\\office\\data as N:");
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}),
                 (QStringList{f.p.at("mnt"), f.p.at("mnt")}));
        QCOMPARE(OfficeShare::Remembered(f.state),
                 (OfficeShare::Settings{"\\\\office\\data", "jdoe", "", "N:"}));
        QVERIFY(f.asked.isEmpty());

        // Not under a copy.
        platform::SharedLock copy(CopyProcedure::TransferLockKey());
        QCOMPARE(copy.lockShared(), 0);
        QCOMPARE(OfficeShare::Disconnect(f.state, OfficeShare::Remembered(f.state)).text,
                 u"A report is being copied to or from the office share. Disconnect once the "
                 "copy has ended.");
        QCOMPARE(platform::DriveTarget("N:"), f.p.at("mnt"));
        QVERIFY(f.mounted);
        copy.unlock();

        QCOMPARE(OfficeShare::Disconnect(f.state, OfficeShare::Remembered(f.state)).text,
                 u"Not connected (disconnected by you; Connect to use it again)");
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}), (QStringList{"", ""}));
        QCOMPARE(f.unmounted, QStringList{"\\\\office\\data"});
    }

    // A mount that was there before Quarn's Connect stays mounted; one found
    // in place that no longer lists (its server started again) goes and is
    // made afresh; a fresh one that does not list, or does not answer, is
    // refused.
    void mountsFoundInPlace() {
        platform::SetAnswerBound(300);
        Fixture f;
        f.mounted = true;
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        QVERIFY(OfficeShare::Disconnect(f.state, OfficeShare::Remembered(f.state)).ok);
        QCOMPARE(f.unmounted, QStringList());
        f.folders = {f.p.at("gone")};
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        QCOMPARE(f.unmounted, QStringList{"\\\\office\\data"});
        QCOMPARE(platform::DriveTarget("N:"), f.p.at("mnt"));
        for (const bool hangs : {false, true}) {
            Fixture g;
            g.folders = {g.p.at(hangs ? "mnt" : "gone")};
            StoppedShare stopped({hangs ? g.p.at("mnt") : "/nowhere"}, 300);
            QCOMPARE(g.connect("\\\\office\\data", "N:").text,
                     u"\\\\office\\data was mounted, but its folders cannot be read with this "
                     "login. Check the user's rights on the share.");
            QCOMPARE(platform::DriveTarget("N:"), QString());
            QCOMPARE(g.unmounted, QStringList{"\\\\office\\data"});
        }
    }

    // A drive the user set by hand, once replaced, is put back at Disconnect.
    void aDriveSetByHand() {
        Fixture f;
        f.p.makeDir(f.p.at("by hand"));
        QVERIFY(QFile::link(f.p.at("by hand"), f.p.prefix() + "/dosdevices/n:"));
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        QCOMPARE(f.asked.size(), 1);
        QCOMPARE(platform::DriveTarget("N:"), f.p.at("mnt"));
        QVERIFY(OfficeShare::Disconnect(f.state, OfficeShare::Remembered(f.state)).ok);
        QCOMPARE(platform::DriveTarget("N:"), f.p.at("by hand"));
    }

    // A Connect cut off while Wine marks the drive (a closed terminal) has
    // recorded what it replaced: Disconnect puts it back.
    void cutOffWhileMarking() {
        Fixture f;
        f.byHand("n:", "by hand");
        const QString kept = f.p.at("kept.ini"), wine = f.p.at("bin/wine");
        f.p.write(wine, ("#!/bin/sh\nexec /bin/cp '" + f.ini() + "' '" + kept + "'\n").toUtf8());
        QFile::setPermissions(wine, QFile::ReadOwner | QFile::ExeOwner);
        const OfficeShare::Result r = f.connect("\\\\office\\data", "N:");
        QVERIFY(r.ok && r.note.isEmpty());                             // marked
        QVERIFY(QFile::remove(f.ini()) && QFile::copy(kept, f.ini())); // what a kill leaves
        QCOMPARE(OfficeShare::Look(OfficeShare::Remembered(f.state)).text,
                 u"Connected: \\\\office\\data as N:");
        QVERIFY(f.disconnect().ok);
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}),
                 (QStringList{f.p.at("by hand"), ""}));
    }

    // A Connect that cannot remember what it replaces replaces nothing.
    void aReadOnlyIni() {
        Fixture f;
        f.byHand("n:", "by hand");
        QVERIFY(QFile::setPermissions(f.ini(), QFile::ReadOwner));
        const OfficeShare::Result r = f.connect("\\\\office\\data", "N:");
        QCOMPARE(r.ok, false);
        QVERIFY2(r.text.endsWith("the file is read-only"), qPrintable(r.text));
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}),
                 (QStringList{f.p.at("by hand"), ""}));
        QVERIFY(!f.mounted);
    }

    // Each drive replaced is put back, and a file written with one
    // ReplacedDrive for the drive remembered then still is.
    void drivesSetByHandEach() {
        Fixture f;
        f.byHand("n:", "hand n");
        f.byHand("p:", "hand p");
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        QVERIFY(f.connect("\\\\office\\data", "P:").ok);
        QCOMPARE(f.asked.size(), 2);
        QVERIFY(f.disconnect().ok);
        QCOMPARE((QStringList{platform::DriveTarget("N:"), platform::DriveTarget("P:")}),
                 (QStringList{f.p.at("hand n"), f.p.at("hand p")}));
        QCOMPARE(f.unmounted, QStringList{"\\\\office\\data"}); // its own, found in place

        Fixture g;
        QVERIFY(QFile::link(g.p.at("mnt"), g.p.prefix() + "/dosdevices/n:")); // an older Quarn's
        g.p.write(g.ini(), ("[OFFICESHARE]\r\nShare=\\\\office\\data\r\nUser=jdoe\r\nDrive=N:\r\n"
                            "ReplacedDrive=" +
                            g.p.at("hand n") + "\r\n")
                               .toUtf8());
        g.mounted = true;
        QVERIFY(g.disconnect().ok);
        QCOMPARE(platform::DriveTarget("N:"), g.p.at("hand n"));
    }

    // A \\server\share set by hand is asked about as itself, and put back
    // as it was; the drive it never had stays unmade.
    void aUncNameSetByHand() {
        Fixture f;
        f.byHand("unc/office/data", "old");
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        QCOMPARE(f.asked, QStringList{Texts::ShareUncTaken("\\\\office\\data", f.p.at("old"))});
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}),
                 (QStringList{f.p.at("mnt"), f.p.at("mnt")}));
        QVERIFY(f.disconnect().ok);
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}),
                 (QStringList{"", f.p.at("old")}));
    }

    // Quarn's mount ejected and the file manager's made instead: Disconnect
    // leaves that one mounted, whether or not a Connect found it in place;
    // so too when no mount's identity can be told, once one was found.
    void aMountQuarnDidNotMake() {
        Fixture f;
        for (const auto& [foundInPlace, told] :
             {std::pair{true, true}, {false, true}, {true, false}}) {
            f.told = told;
            QVERIFY(f.connect("\\\\office\\data", "N:").ok);
            ++f.mounts; // ejected; then the file manager's
            if (foundInPlace)
                QVERIFY(f.connect("\\\\office\\data", "N:").ok);
            QVERIFY(f.disconnect().ok);
            QCOMPARE(f.unmounted, QStringList());
            f.mounted = false;
        }
    }

    // After a restart the mount is gone, its links not: Disconnect takes
    // them away all the same.
    void disconnectOnceTheMountWent() {
        Fixture f;
        const QString gvfs = f.p.at("gvfs/smb-share:server=office,share=data");
        f.p.makeDir(gvfs);
        f.folders = {gvfs};
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        f.mounted = false;
        QVERIFY(f.disconnect().ok);
        QCOMPARE((QStringList{platform::DriveTarget("N:"), f.unc()}), (QStringList{"", ""}));
    }

    // What follow does brings back a share that went, but not one the user
    // disconnected, until the user connects again.
    void aDisconnectHoldsAgainstFollow() {
        Fixture f;
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        f.mounted = false; // a restart
        QVERIFY(OfficeShare::Reconnect(f.state)->ok);
        QVERIFY(f.disconnect().ok);
        QCOMPARE(OfficeShare::Reconnect(f.state), std::nullopt);
        QCOMPARE(OfficeShare::Look(OfficeShare::Remembered(f.state)).text,
                 u"Not connected (disconnected by you; Connect to use it again)");
        QVERIFY(!f.mounted);
        QVERIFY(f.connect("\\\\office\\data", "N:").ok);
        f.mounted = false;
        QVERIFY(OfficeShare::Reconnect(f.state)->ok);
        QCOMPARE(platform::DriveTarget("N:"), f.p.at("mnt"));
    }

    void drives() {
        Fixture f;
        for (const char* drive : {"C:", "", "NN", "1:"}) {
            const OfficeShare::Result r = f.connect("\\\\office\\data", drive);
            QCOMPARE(r.text, QStringLiteral("\"%1\" is not a drive letter for the share: give one "
                                            "from D: to Z:, such as N:.")
                                 .arg(drive));
            QVERIFY(!f.mounted);
        }
        QCOMPARE(OfficeShare::DefaultDrive(f.state), u"N:");
        // Whether the suite's directories are on the drive.
        const OfficeShare::Settings share{"\\\\office\\data", "", "", "N:"};
        for (const char* dir : {"N:\\A", "n:\\OTHER", "C:\\L"}) {
            f.p.write(f.p.driveC() + "/windows/kav.ini",
                      QByteArray("[Directories]\r\nDataDir=") + dir + "\r\n");
            QCOMPARE(OfficeShare::SuiteUsesDrive(share), QByteArray(dir).startsWith("C:") == false);
        }
    }

    void steps_data() { AddCases("office/share_follow.txt", "name"); }
    void steps() {
        QFETCH(Row, row);
        static const QStringList said{"-", "LOCAL", "NETWORK", "mixed", "hand", "wait"};
        const QStringList looks = row["looks"].split(u';'), want = row["answers"].split(u';');
        QCOMPARE(looks.size(), want.size());
        Memory m;
        for (qsizetype i = 0; i < looks.size(); ++i) {
            const QStringList f = looks[i].split(u' '); // seconds, in force, up|down, [lock]
            const Look now{f[1], f[2] == u"up", f.size() > 3, f[0].toLongLong() * 1000};
            const QString got = said[int(Step(m, now, row["settling"].toLongLong() * 1000))];
            QCOMPARE(looks[i] + " -> " + got, looks[i] + " -> " + want[i]);
        }
    }

    // A share whose listing hangs counts as gone once the check's bound is
    // over; the same share answering counts as there.
    void aHangingShareIsNotReached() {
        TestPrefix p;
        std::promise<void> gate;
        const auto opened = gate.get_future().share();
        platform::SetDirectoryLister([opened](const QString&, bool) {
            return opened.wait(), platform::Result<QString>{QStringLiteral("."), 0};
        });
        QVERIFY(!ShareReachable(QStringLiteral("D:\\")));
        gate.set_value();
        QTRY_COMPARE(platform::PendingDirectoryListings(), 0);
        platform::SetDirectoryLister({});
        QVERIFY(ShareReachable(QStringLiteral("D:\\")));
    }

    // The transfer's lock is named at once for a prefix on a share that
    // stopped answering, as the prefix is written.
    void lockOfAStoppedPrefix() {
        TestPrefix p;
        StoppedShare stopped({p.prefix()}, 200);
        const QStringList got{CopyProcedure::TransferLockKey(),
                              QString::number(stopped.askedHere())};
        QVERIFY(stopped.answer());
        QCOMPARE(got, (QStringList{"transfer " + p.prefix(), "0"}));
    }

    void roots_data() { AddCases("office/share_roots.txt", "folder"); }
    void roots() {
        QFETCH(Row, row);
        QCOMPARE(ShareRoot(row["folder"]), row["root"]);
    }
};

QTEST_GUILESS_MAIN(TestOfficeShare)
#include "tst_officeshare.moc"
