// The reading rules of the profile functions and byte-for-byte preservation
// on every change, on in-memory files; the cases are in ini_*.txt.

#include "platform/profile/IniDocument.h"
#include "tests/support/Cases.h"

#include <QTest>

using platform::IniDocument;

namespace {
const QString kNone = QStringLiteral("<none>");
} // namespace

class TestIniDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reading_data() {
        AddCases("platform/ini_reading.txt");
        // 0x80 is the one 1252 byte a Latin-1 text file cannot spell.
        QTest::newRow("euro sign") << QStringList{QString::fromLatin1("[s]\nk=\x80"), "s", "k", "€"};
        QTest::newRow("long value") << QStringList{"[s]\nk=" + QString(40000, u'y'), "s", "k", QString(40000, u'y')};
    }
    void reading() {
        QFETCH(QStringList, c); // file, section, key, value
        QCOMPARE(IniDocument(c[0].toLatin1()).value(c[1], c[2]).value_or(kNone), c[3]);
    }

    void editing_data() {
        AddCases("platform/ini_editing.txt");
        QTest::newRow("euro sign written")
            << QStringList{"[s]\nk=x\n", "s", "k", "€", QString::fromLatin1("[s]\nk=\x80\n")};
        QTest::newRow("long value written")
            << QStringList{"", "s", "k", QString(40000, u'y'), "[s]\r\nk=" + QString(40000, u'y') + "\r\n"};
    }
    void editing() {
        QFETCH(QStringList, c); // file, section, key or <delete>, value, file after
        const IniDocument doc(c[0].toLatin1());
        const auto out = c[2] == u"<delete>" ? doc.withoutSection(c[1]) : doc.withValue(c[1], c[2], c[3]);
        QCOMPARE(out ? QString::fromLatin1(*out) : kNone, c[4]);
    }

    // A switch's failure names the character, as it names a read-only file.
    void unwritableCharacterNamed() {
        QString why;
        QVERIFY(!IniDocument("[s]\nk=x\n").withValue(u"s", u"DataDir", u"C:\\Данные\\APPRAISE", &why));
        QCOMPARE(why, u"the file's code page cannot hold \"Д\"");
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
