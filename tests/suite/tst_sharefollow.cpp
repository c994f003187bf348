// Following the office share: the decision over a run of looks, and the
// folder that stands for the share.

#include "platform/win/DirectoryListing.h"
#include "platform/win/WinPath.h"
#include "suite/ShareFollow.h"
#include "tests/support/Cases.h"
#include "tests/support/StoppedShare.h"
#include "tests/support/TestPrefix.h"

#include <future>

using namespace ShareFollow;

class TestShareFollow : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void steps_data() { AddCases("suite/share_follow.txt", "name"); }
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
        const QStringList got{TransferLockKey(), QString::number(stopped.askedHere())};
        QVERIFY(stopped.answer());
        QCOMPARE(got, (QStringList{"transfer " + p.prefix(), "0"}));
    }

    void roots_data() { AddCases("suite/share_roots.txt", "folder"); }
    void roots() {
        QFETCH(Row, row);
        QCOMPARE(ShareRoot(row["folder"]), row["root"]);
    }
};

QTEST_GUILESS_MAIN(TestShareFollow)
#include "tst_sharefollow.moc"
