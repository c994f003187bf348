// A folder's plain files in one listing, its links told as links and never
// looked through; no folder, no listing. The share's kernel mounts.

#include "platform/share/DriveMount.h"
#include "platform/share/FolderListing.h"
#include "tests/support/Cases.h"
#include "tests/support/TestPrefix.h"

#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/stat.h>

class TestFolderListing : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void plainFilesWithSizesAndTimes() {
        QTemporaryDir dir;
        const QString d = dir.path();
        TestPrefix::write(d + "/SMITH.RPT", "12345");
        TestPrefix::write(d + "/EMPTY.RPT", "");
        TestPrefix::makeDir(d + "/SKETCHES");
        QVERIFY(QFile::link(d + "/SMITH.RPT", d + "/LINKED.RPT"));
        QVERIFY(QFile::link(d + "/GONE.RPT", d + "/DANGLING.RPT"));
        QVERIFY(QFile::link(d + "/SKETCHES", d + "/FOLDER.RPT"));
        const timespec times[2] = {{0, UTIME_OMIT}, {1700000000, 123456789}};
        QVERIFY(::utimensat(AT_FDCWD, QFile::encodeName(d + "/SMITH.RPT").constData(), times, 0) ==
                0);

        QString why;
        const auto files = platform::ListFiles(d, 5000, &why);
        QVERIFY2(files, qPrintable(why));
        QMap<QString, platform::ListedFile> byName;
        for (const platform::ListedFile& f : *files)
            byName[f.name] = f;
        QCOMPARE(byName.keys(), (QStringList{"DANGLING.RPT", "EMPTY.RPT", "FOLDER.RPT",
                                             "LINKED.RPT", "SMITH.RPT"}));
        QCOMPARE(byName["SMITH.RPT"].size, 5);
        QCOMPARE(byName["SMITH.RPT"].mtimeMs, 1700000000123);
        QVERIFY(!byName["SMITH.RPT"].link && !byName["EMPTY.RPT"].link);
        for (const char* link : {"LINKED.RPT", "DANGLING.RPT", "FOLDER.RPT"})
            QVERIFY(byName[link].link && byName[link].size == 0 && byName[link].mtimeMs == 0);
    }

    void noFolderNoListing_data() { AddCases("platform/unlisted.txt"); }
    void noFolderNoListing() {
        QFETCH(Row, row);
        QTemporaryDir dir;
        const QString at = dir.path() + "/REPORTS";
        if (row["what"] == "file")
            TestPrefix::write(at, "x");
        QString why;
        QVERIFY(!platform::ListFiles(at, 5000, &why));
        QVERIFY2(why.contains(at) && why.contains(row["why"]), qPrintable(why));
    }

    // The office share's drive links a kernel mount of the share in place of
    // one of its own: only the share's root, as the kernel mounted it.
    void kernelMounts_data() { AddCases("platform/kernel_mounts.txt"); }
    void kernelMounts() {
        QFETCH(Row, row);
        const platform::ShareAddress share{"office", "data"};
        const QString found =
            row["file"] == "fstab"
                ? platform::UserFstabEntryIn(row["text"], share).value_or(QStringLiteral("-"))
                : platform::KernelMountIn(row["text"], share);
        QCOMPARE(found.isEmpty() ? QStringLiteral("-") : found, row["found"]);
    }
};

QTEST_GUILESS_MAIN(TestFolderListing)
#include "tst_folderlisting.moc"
