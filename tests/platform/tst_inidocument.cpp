// The reading rules of the profile functions and byte-for-byte preservation
// on every change, on in-memory files.

#include "platform/IniDocument.h"

#include <QTest>

using platform::IniDocument;

namespace {
const QString kMissing = QStringLiteral("<missing>");
}

class TestIniDocument : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void reading_data() {
        QTest::addColumn<QByteArray>("file");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("expected");

        QTest::newRow("plain") << QByteArray("[Directories]\r\nDataDir=C:\\DATA\r\n") << "Directories" << "DataDir" << "C:\\DATA";
        QTest::newRow("names ignore case") << QByteArray("[DIRECTORIES]\r\nDATADIR=x\r\n") << "directories" << "datadir" << "x";
        QTest::newRow("blanks and tabs around names and value") << QByteArray(" \t[ Dirs\t] \n\t key \t=\t v w \t\r\n") << "dirs" << "KEY" << "v w";
        QTest::newRow("double quotes removed") << QByteArray("[s]\nk= \"a b \" \n") << "s" << "k" << "a b ";
        QTest::newRow("single quotes removed") << QByteArray("[s]\nk='x'\n") << "s" << "k" << "x";
        QTest::newRow("unmatched quote stays") << QByteArray("[s]\nk=\"x'\n") << "s" << "k" << "\"x'";
        QTest::newRow("lone quote stays") << QByteArray("[s]\nk=\"\n") << "s" << "k" << "\"";
        QTest::newRow("inner quotes stay") << QByteArray("[s]\nk=a\"b\"\n") << "s" << "k" << "a\"b\"";
        QTest::newRow("first section wins") << QByteArray("[s]\nk=1\n[t]\n[S]\nk=2\nj=3\n") << "s" << "j" << kMissing;
        QTest::newRow("first key wins") << QByteArray("[s]\nK=1\nk=2\n") << "s" << "k" << "1";
        QTest::newRow("key without value reads the default") << QByteArray("[s]\nk\n") << "s" << "k" << kMissing;
        QTest::newRow("key without value hides a later one") << QByteArray("[s]\n k \nK=2\n") << "s" << "k" << kMissing;
        QTest::newRow("before any header no key without value") << QByteArray("k\nk=1\n") << "" << "k" << "1";
        QTest::newRow("double equals") << QByteArray("[s]\nk==v\n") << "s" << "k" << "=v";
        QTest::newRow("empty value") << QByteArray("[s]\nk=\n") << "s" << "k" << "";
        QTest::newRow("header up to last bracket") << QByteArray("[a]b] tail\nk=1\n") << "a]b" << "k" << "1";
        QTest::newRow("text after bracket ignored") << QByteArray("[s] ; comment\nk=1\n") << "s" << "k" << "1";
        QTest::newRow("no bracket opens no section") << QByteArray("[s]\n[t\nk=1\n") << "s" << "k" << "1";
        QTest::newRow("no bracket: no section t") << QByteArray("[s]\n[t\nk=1\n") << "t" << "k" << kMissing;
        QTest::newRow("open bracket line is a key") << QByteArray("[s]\n[t=2\n") << "s" << "[t" << "2";
        QTest::newRow("empty header unreachable") << QByteArray("k=top\n[]\nk=1\n") << "" << "k" << "top";
        QTest::newRow("blank header unreachable") << QByteArray("[ ]\nk=1\n") << " " << "k" << kMissing;
        QTest::newRow("lines before first header") << QByteArray("k=1\n[s]\n") << "" << "k" << "1";
        QTest::newRow("semicolon is part of key") << QByteArray("[s]\n;x=1\n") << "s" << ";x" << "1";
        QTest::newRow("semicolon commented key is not x") << QByteArray("[s]\n;x=1\n") << "s" << "x" << kMissing;
        QTest::newRow("semicolon in value") << QByteArray("[s]\nk=v ; c\n") << "s" << "k" << "v ; c";
        QTest::newRow("windows-1252") << QByteArray("[s]\nk=caf\xe9 \x80\n") << "s" << "k" << QString::fromUtf8("café €");
        QTest::newRow("utf-8 after BOM") << QByteArray("\xEF\xBB\xBF[s]\nk=caf\xc3\xa9\n") << "s" << "k" << QString::fromUtf8("café");
        QTest::newRow("BOM is not a name") << QByteArray("\xEF\xBB\xBFk=1\n") << "" << "k" << "1";
        QTest::newRow("no BOM: utf-8 bytes are 1252") << QByteArray("[s]\nk=\xc3\xa9\n") << "s" << "k" << QString::fromUtf8("Ã©");
        QTest::newRow("non-ASCII names: exact case only") << QByteArray("[\xc9T\xc9]\nk=1\n") << QString::fromUtf8("été") << "k" << kMissing;
        QTest::newRow("value cut at NUL") << QByteArray("[s]\nk=ab\0cd\n", 12) << "s" << "k" << "ab";
        QTest::newRow("lone CR is not a line end") << QByteArray("[s]\rk=1\n") << "s" << "k" << kMissing;
        QTest::newRow("no final line break") << QByteArray("[s]\nk=1") << "s" << "k" << "1";
        QTest::newRow("key in later duplicate only") << QByteArray("[s]\n[t]\n[s]\nk=2\n") << "s" << "k" << kMissing;
        QTest::newRow("empty key never read") << QByteArray("[s]\n=v\n") << "s" << "" << kMissing;
        QTest::newRow("empty file") << QByteArray() << "s" << "k" << kMissing;
        QTest::newRow("names compared as the file holds them") << QByteArray("[s]\nc?=1\n") << "s" << QString::fromUtf8("c中") << "1";
        QTest::newRow("binary junk") << QByteArray("\x00\xff[\x01]\n=\n\xfe=\xfd\n", 11) << "\x01" << "\xfe" << kMissing;
    }
    void reading() {
        QFETCH(QByteArray, file);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, expected);
        QCOMPARE(IniDocument(file).value(section, key).value_or(kMissing), expected);
    }

    void writing_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::addColumn<QByteArray>("after");

        QTest::newRow("value only changes")
            << QByteArray("; top\r\n[Directories]\r\n  DataDir = C:\\OLD  ; tail\r\n\r\n[Other]\r\nx=1\r\n")
            << "directories" << "datadir" << "N:\\NEW"
            << QByteArray("; top\r\n[Directories]\r\n  DataDir = N:\\NEW\r\n\r\n[Other]\r\nx=1\r\n");
        QTest::newRow("quoted value replaced whole")
            << QByteArray("[s]\nk=\"old\"\n") << "s" << "k" << "new" << QByteArray("[s]\nk=new\n");
        QTest::newRow("empty value filled")
            << QByteArray("[s]\r\nk=\r\n") << "s" << "k" << "v" << QByteArray("[s]\r\nk=v\r\n");
        QTest::newRow("blank value filled")
            << QByteArray("[s]\nk=   \n") << "s" << "K" << "v" << QByteArray("[s]\nk=v   \n");
        QTest::newRow("key without value filled, later line kept")
            << QByteArray("[s]\r\n flag \r\nflag=1\r\n") << "s" << "FLAG" << "2" << QByteArray("[s]\r\n flag=2 \r\nflag=1\r\n");
        QTest::newRow("empty value written")
            << QByteArray("[s]\nk=old\n") << "s" << "k" << "" << QByteArray("[s]\nk=\n");
        QTest::newRow("first of duplicate keys")
            << QByteArray("[s]\nk=1\nk=2\n") << "s" << "k" << "9" << QByteArray("[s]\nk=9\nk=2\n");
        QTest::newRow("first of duplicate sections")
            << QByteArray("[s]\na=1\n[s]\nk=2\n") << "s" << "k" << "9" << QByteArray("[s]\na=1\nk=9\n[s]\nk=2\n");
        QTest::newRow("new key after last non-blank line")
            << QByteArray("[a]\r\nx=1\r\n; note\r\n\r\n\r\n[b]\r\n") << "A" << "y" << "2"
            << QByteArray("[a]\r\nx=1\r\n; note\r\ny=2\r\n\r\n\r\n[b]\r\n");
        QTest::newRow("new key in empty section")
            << QByteArray("[a]\n\n[b]\n") << "a" << "k" << "v" << QByteArray("[a]\nk=v\n\n[b]\n");
        QTest::newRow("new key, no final line break")
            << QByteArray("[a]\r\nx=1") << "a" << "k" << "v" << QByteArray("[a]\r\nx=1\r\nk=v");
        QTest::newRow("new key after header without line break")
            << QByteArray("[a]") << "a" << "k" << "v" << QByteArray("[a]\r\nk=v");
        QTest::newRow("new section appended with file's LF")
            << QByteArray("[a]\nx=1\n") << "Directories" << "DataDir" << "C:\\D"
            << QByteArray("[a]\nx=1\n[Directories]\nDataDir=C:\\D\n");
        QTest::newRow("new section after a missing line break")
            << QByteArray("[a]\r\nx=1") << "b" << "k" << "v" << QByteArray("[a]\r\nx=1\r\n[b]\r\nk=v\r\n");
        QTest::newRow("new file uses CRLF")
            << QByteArray() << "s" << "k" << "v" << QByteArray("[s]\r\nk=v\r\n");
        QTest::newRow("top section before first header")
            << QByteArray("a=1\n\n[s]\n") << "" << "b" << "2" << QByteArray("a=1\nb=2\n\n[s]\n");
        QTest::newRow("BOM kept, UTF-8 written")
            << QByteArray("\xEF\xBB\xBF[s]\nk=x\n") << "s" << "k" << QString::fromUtf8("é")
            << QByteArray("\xEF\xBB\xBF[s]\nk=\xc3\xa9\n");
        QTest::newRow("Windows-1252 written")
            << QByteArray("[s]\nk=x\n") << "s" << "k" << QString::fromUtf8("é€")
            << QByteArray("[s]\nk=\xe9\x80\n");
        QTest::newRow("characters outside the code page")
            << QByteArray("[s]\nk=x\n") << "s" << "k" << QString::fromUtf8("a\u4e2d\U0001F600")
            << QByteArray("[s]\nk=a??\n");
        QTest::newRow("key name keeps file spelling")
            << QByteArray("[s]\nDataDir=x\n") << "S" << "DATADIR" << "y" << QByteArray("[s]\nDataDir=y\n");
        QTest::newRow("other bytes untouched")
            << QByteArray("\x01\xff junk\n[s]\nk=1\n\xfe\xfd\n") << "s" << "k" << "2"
            << QByteArray("\x01\xff junk\n[s]\nk=2\n\xfe\xfd\n");
    }
    void writing() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QFETCH(QByteArray, after);
        const auto out = IniDocument(before).withValue(section, key, value);
        QVERIFY(out);
        QCOMPARE(*out, after);
    }

    void refusedWrites_data() {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("value");
        QTest::newRow("LF in value") << "s" << "k" << "x\nevil=1";
        QTest::newRow("CR in value") << "s" << "k" << "x\r";
        QTest::newRow("NUL in value") << "s" << "k" << QString(QChar(0));
        QTest::newRow("LF in key") << "s" << "k\n[x]" << "v";
        QTest::newRow("CR in section") << "s\r" << "k" << "v";
        QTest::newRow("LF in section") << "s]\n[t" << "k" << "v";
        QTest::newRow("empty key") << "s" << " " << "v";
        QTest::newRow("equals in key") << "s" << "a=b" << "v";
        QTest::newRow("key looks like a header") << "s" << "[t]" << "v";
        QTest::newRow("key would start the file with a BOM") << "" << QString::fromUtf8("ï»¿x") << "v";
    }
    void refusedWrites() {
        QFETCH(QString, section);
        QFETCH(QString, key);
        QFETCH(QString, value);
        QVERIFY(!IniDocument("[s]\nk=1\n").withValue(section, key, value));
    }

    void utf16FilesAreNeverWritten() {
        const IniDocument doc(QByteArray("\xFF\xFE[\0s\0]\0\r\0\n\0", 12));
        QVERIFY(!doc.withValue(u"s", u"k", u"v"));
        QVERIFY(!doc.withoutSection(u"s"));
    }

    void deleting_data() {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QString>("section");
        QTest::addColumn<QByteArray>("after"); // empty: nothing to remove
        QTest::newRow("middle section, blank lines included")
            << QByteArray("; c\r\n[a]\r\nx=1\r\n\r\n[B]\r\ny=2\r\n; b note\r\n\r\n[c]\r\nz=3")
            << "b" << QByteArray("; c\r\n[a]\r\nx=1\r\n\r\n[c]\r\nz=3");
        QTest::newRow("first of two") << QByteArray("[a]\nx=1\n[a]\ny=2\n") << "A" << QByteArray("[a]\ny=2\n");
        QTest::newRow("last section") << QByteArray("[a]\nx=1\n[b]\ny=2") << "b" << QByteArray("[a]\nx=1\n");
        QTest::newRow("absent") << QByteArray("[a]\nx=1\n") << "b" << QByteArray();
        QTest::newRow("top section is never removed") << QByteArray("x=1\n[a]\n") << "" << QByteArray();
    }
    void deleting() {
        QFETCH(QByteArray, before);
        QFETCH(QString, section);
        QFETCH(QByteArray, after);
        QCOMPARE(IniDocument(before).withoutSection(section).value_or(QByteArray()), after);
    }

    void roundTrip() {
        // Whatever is written reads back, quotes and blanks aside.
        IniDocument doc;
        for (const QString& v : {QStringLiteral("C:\\Data Dir"), QStringLiteral(""),
                                 QString(300, u'x'), QString(40000, u'y')})
            doc = IniDocument(*doc.withValue(u"s", u"k", v));
        QCOMPARE(doc.value(u"S", u"K").value(), QString(40000, u'y'));
    }
};

QTEST_GUILESS_MAIN(TestIniDocument)
#include "tst_inidocument.moc"
