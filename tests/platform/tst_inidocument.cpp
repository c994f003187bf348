// The reading rules of the profile functions and byte-for-byte preservation
// on every change, on in-memory files; the cases are in ini_*.txt.

#include "platform/profile/IniDocument.h"
#include "tests/support/Cases.h"

#include <QTest>

using platform::IniDocument;

const QString kNone = QStringLiteral("<none>");

class TestIniDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reading_data() {
        const QStringList columns = AddCases("platform/ini_reading.txt");
        const QString y(40000, u'y');
        // 0x80 is the one 1252 byte a Latin-1 text file cannot spell.
        QTest::newRow("euro sign")
            << Row(columns, {QString::fromLatin1("[s]\nk=\x80"), "s", "k", "€", ""});
        QTest::newRow("long value") << Row(columns, {"[s]\nk=" + y, "s", "k", y, ""});
    }
    void reading() {
        QFETCH(Row, row);
        const IniDocument doc(row["file"].toLatin1());
        QCOMPARE(doc.value(row["section"], row["key"]).value_or(kNone), row["value"]);
    }

    void editing_data() {
        const QStringList columns = AddCases("platform/ini_editing.txt");
        QTest::newRow("euro sign written") << Row(
            columns, {"[s]\nk=x\n", "s", "k", "€", QString::fromLatin1("[s]\nk=\x80\n"), ""});
        const QString y(40000, u'y');
        QTest::newRow("long value written")
            << Row(columns, {"", "s", "k", y, "[s]\r\nk=" + y + "\r\n", ""});
    }
    void editing() {
        QFETCH(Row, row);
        const IniDocument doc(row["file"].toLatin1());
        const QString section = row["section"], key = row["key"];
        const auto out = key == u"<delete>" ? doc.withoutSection(section)
                                            : doc.withValue(section, key, row["value"]);
        QCOMPARE(out ? QString::fromLatin1(*out) : kNone, row["after"]);
    }

    // A switch's failure names the character, as it names a read-only file.
    void unwritableCharacterNamed() {
        QString why;
        QVERIFY(
            !IniDocument("[s]\nk=x\n").withValue(u"s", u"DataDir", u"C:\\Данные\\APPRAISE", &why));
        QCOMPARE(why, u"the file's code page cannot hold \"Д\"");
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
