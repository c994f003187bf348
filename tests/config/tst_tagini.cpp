// Control tags: the grammar, the macros, and loading and saving controls.

#include "platform/HostError.h"
#include "config/TagIni.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"
#include "config/WPINI.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

using namespace TagIni;

namespace {

const QString kSuite = QStringLiteral("C:\\VALUATOR\\QUARN2.INI");

template <class W>
W* Bound(QWidget* parent, const QString& tag) {
    auto* w = new W(parent);
    w->setProperty("tag", tag);
    return w;
}

} // namespace

class TestTagIni : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void legit_data() {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<bool>("legit");
        QTest::newRow("dialog field") << "<WINDIR>QUARN2.INI[LOCAL]QXADATADIR|" << true;
        QTest::newRow("pieces reversed") << "|KEY]LOCAL[ini>WINDIR<" << true;
        QTest::newRow("no macro") << "QUARN2.INI[LOCAL]QXADATADIR|" << false;
        QTest::newRow("not an INI file") << "<WINDIR>QUARN2.CFG[LOCAL]K|" << false;
        QTest::newRow("empty") << "" << false;
    }
    void legit() {
        QFETCH(QString, tag);
        QFETCH(bool, legit);
        QLineEdit w;
        w.setProperty("tag", tag);
        QCOMPARE(ErrTagLegit(&w), legit);
    }

    void parse_data() {
        QTest::addColumn<QString>("tag");
        QTest::addColumn<QStringList>("parts"); // IniFile, Section, Key, Default, KeyPrefix, Width
        QTest::newRow("value tag") << "<WINDIR>QUARN2.INI[PREFERENCES]COPYLOCAL2NETWORK|1"
                                   << QStringList{"C:\\Valuator\\QUARN2.INI", "PREFERENCES", "COPYLOCAL2NETWORK", "1", "", "0"};
        QTest::newRow("two bars") << "<WINDIR>A.INI[S]K|a|b" << QStringList{"C:\\windows\\A.INI", "S", "K", "a|b", "", "0"};
        QTest::newRow("no bar") << "<WINDIR>A.INI[S]K" << QStringList{"C:\\windows\\A.INI", "S", "", "", "", "0"};
        QTest::newRow("list") << "<WINDIR>A.INI[HISTORY]ITEM##" << QStringList{"C:\\windows\\A.INI", "HISTORY", "", "", "ITEM", "2"};
        QTest::newRow("lower-case macro") << "<windir>Mixed.Ini[S]K|" << QStringList{"C:\\windows\\Mixed.Ini", "S", "K", "", "", "0"};
        QTest::newRow("data dir") << "<DATADIR>SUB\\X.INI[S]K|" << QStringList{"C:\\DATA\\SUB\\X.INI", "S", "K", "", "", "0"};
        QTest::newRow("unknown macro") << "<TEMP>X.INI[S]K|" << QStringList{"", "S", "K", "", "", "0"};
        QTest::newRow("plain path") << "C:\\X.INI[S]K|" << QStringList{"C:\\X.INI", "S", "K", "", "", "0"};
    }
    void parse() {
        QFETCH(QString, tag);
        QFETCH(QStringList, parts);
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", "[DIRECTORIES]\r\nDATADIR=C:\\DATA\r\n");
        const TagParts t = ParseTag(tag, kSuite);
        QCOMPARE((QStringList{t.IniFile, t.Section, t.Key, t.Default, t.KeyPrefix,
                              QString::number(t.Width)}),
                 parts);
    }

    void macrosWithoutDirectoryGiveTheBareName() {
        TestPrefix p;
        QCOMPARE(ExpandTagMacro("<DATADIR>SUB\\X.INI", kSuite), u"SUB\\X.INI");
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI", "[DIRECTORIES]\r\nUSERDIR=C:\\U\\\r\n");
        QCOMPARE(ExpandTagMacro("<userdir>x.ini", kSuite), u"C:\\U\\x.ini");
        // <WINDIR> finds the suite folder's file once it holds something.
        QCOMPARE(ExpandTagMacro("<WINDIR>quarn2.ini", kSuite), u"C:\\Valuator\\quarn2.ini");
    }

    void options_data() {
        QTest::addColumn<QByteArray>("stored"); // "-": key absent
        QTest::addColumn<QString>("defaultValue");
        QTest::addColumn<bool>("selected");
        QTest::newRow("absent, default 1") << QByteArray("-") << "1" << true;
        QTest::newRow("absent, default 0") << QByteArray("-") << "0" << false;
        QTest::newRow("absent, empty default") << QByteArray("-") << "" << true;
        QTest::newRow("0 with blanks") << QByteArray(" 0 ") << "1" << false;
        QTest::newRow("00") << QByteArray("00") << "0" << true;
        QTest::newRow("no") << QByteArray("no") << "0" << true;
    }
    void options() {
        QFETCH(QByteArray, stored);
        QFETCH(QString, defaultValue);
        QFETCH(bool, selected);
        TestPrefix p;
        p.write(p.driveC() + "/windows/Q.INI", stored == "-" ? "[P]\r\n" : "[P]\r\nOPT=" + stored + "\r\n");
        QWidget form;
        auto* option = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]OPT|" + defaultValue);
        LoadTaggedControls(&form, kSuite);
        QCOMPARE(option->isChecked(), selected);
    }

    void optionGroupLaterWinsAndSavesBack() {
        TestPrefix p;
        p.write(p.driveC() + "/windows/Q.INI", "[P]\r\nA=1\r\nB=1\r\nC=0\r\n");
        QWidget form;
        auto* a = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]A|0");
        auto* b = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]B|0");
        auto* c = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]C|0");
        LoadTaggedControls(&form, kSuite);
        QVERIFY(!a->isChecked() && b->isChecked() && !c->isChecked());
        c->setChecked(true);
        SaveTaggedControls(&form, kSuite);
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/Q.INI"), QByteArray("[P]\r\nA=0\r\nB=0\r\nC=1\r\n"));
    }

    void optionsAllZeroClearAChecked() {
        TestPrefix p;
        p.write(p.driveC() + "/windows/Q.INI", "[P]\r\nA=0\r\nB=0\r\n");
        QWidget form;
        auto* a = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]A|1");
        auto* b = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]B|1");
        b->setChecked(true);
        LoadTaggedControls(&form, kSuite);
        QVERIFY(!a->isChecked() && !b->isChecked());
        SaveTaggedControls(&form, kSuite);
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/Q.INI"), QByteArray("[P]\r\nA=0\r\nB=0\r\n"));
        a->setChecked(true); // the group still works as one
        b->setChecked(true);
        QVERIFY(!a->isChecked());
    }

    void checkBoxes_data() {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<int>("state");
        QTest::newRow("1") << "1" << int(Qt::Checked);
        QTest::newRow("2 grays") << "2" << int(Qt::PartiallyChecked);
        QTest::newRow("word") << "yes" << int(Qt::Unchecked);
        QTest::newRow("empty") << "" << int(Qt::Unchecked);
        QTest::newRow("1.5 to even") << "1.5" << int(Qt::PartiallyChecked);
        QTest::newRow("2.5 to even") << "2.5" << int(Qt::PartiallyChecked);
        QTest::newRow("0.5 to even") << " 0.5" << int(Qt::Unchecked);
        QTest::newRow("leading number") << "1abc" << int(Qt::Checked);
        QTest::newRow("a second point ends it") << "1.5.1" << int(Qt::PartiallyChecked);
        QTest::newRow("blanks inside skipped") << "+ 1" << int(Qt::Checked);
    }
    void checkBoxes() {
        QFETCH(QString, stored);
        QFETCH(int, state);
        TestPrefix p;
        WPINI::WriteIni("Q.INI", "P", "BOX", stored);
        QWidget form;
        auto* box = Bound<QCheckBox>(&form, "<WINDIR>Q.INI[P]BOX|");
        box->setTristate(true);
        box->setCheckState(Qt::Checked);
        LoadTaggedControls(&form, kSuite);
        QCOMPARE(int(box->checkState()), state);
    }

    void checkBoxOutOfRangeGoesToTheWindow_data() {
        QTest::addColumn<QString>("stored");
        QTest::newRow("beyond 16 bits") << "70000";
        QTest::newRow("negative") << "- 1";
        QTest::newRow("3") << "3";
    }
    void checkBoxOutOfRangeGoesToTheWindow() {
        QFETCH(QString, stored);
        TestPrefix p;
        WPINI::WriteIni("Q.INI", "P", "BOX", stored);
        QWidget form;
        auto* box = Bound<QCheckBox>(&form, "<WINDIR>Q.INI[P]BOX|");
        ScriptedPrompter script;
        QVERIFY_THROWS_EXCEPTION(platform::RuntimeError, ErrTagReadBkBoxTag(box, kSuite));
        QVERIFY(script.shown().isEmpty());
    }

    void lists() {
        TestPrefix p;
        p.write(p.driveC() + "/windows/Q.INI", "[HISTORY]\r\nITEM09=stale\r\n[OTHER]\r\nk=1\r\n");
        QWidget form;
        auto* list = Bound<QListWidget>(&form, "<WINDIR>Q.INI[HISTORY]ITEM##");
        list->addItems({"alpha", "", "gamma"});
        SaveTaggedControls(&form, kSuite);
        QCOMPARE(TestPrefix::read(p.driveC() + "/windows/Q.INI"),
                 QByteArray("[OTHER]\r\nk=1\r\n[HISTORY]\r\nITEM01=alpha\r\nITEM02=\r\nITEM03=gamma\r\n"));
        LoadTaggedControls(&form, kSuite);
        QCOMPARE(list->count(), 1); // the empty second entry ends the list
        QCOMPARE(list->item(0)->text(), u"alpha");
    }

    void listsBeyondTheirWidthStopThere() {
        TestPrefix p;
        QWidget form;
        auto* list = Bound<QListWidget>(&form, "<WINDIR>Q.INI[H]I#");
        for (int i = 1; i <= 12; ++i)
            list->addItem(QString::number(i));
        SaveTaggedControls(&form, kSuite);
        QCOMPARE(WPINI::ReadIni("Q.INI", "H", "I9", "-"), u"9"); // not overwritten by entry 19's key
        QCOMPARE(WPINI::ReadIni("Q.INI", "H", "I0", "-"), u"-");
    }

    void textBoxesLoadButAreNeverSaved() {
        TestPrefix p;
        p.write(p.driveC() + "/windows/QUARN2.INI", "[LOCAL]\r\nQXADATADIR=C:\\A\r\n");
        QWidget form;
        auto* bound = Bound<QLineEdit>(&form, "<WINDIR>QUARN2.INI[LOCAL]QXADATADIR|");
        auto* missing = Bound<QLineEdit>(&form, "<WINDIR>QUARN2.INI[LOCAL]NOKEY|");
        auto* untagged = new QLineEdit(QStringLiteral("kept"), &form);
        auto* combo = Bound<QComboBox>(&form, "<WINDIR>QUARN2.INI[LOCAL]QXADATADIR|");
        missing->setText("old");
        LoadTaggedControls(&form, kSuite);
        QCOMPARE(bound->text(), u"C:\\A");
        QCOMPARE(missing->text(), u"");
        QCOMPARE(untagged->text(), u"kept");
        QCOMPARE(combo->count(), 0); // as a list: no numbered keys
        bound->setText("typed");
        SaveTaggedControls(&form, kSuite);
        QCOMPARE(WPINI::ReadIni("QUARN2.INI", "LOCAL", "QXADATADIR", ""), u"C:\\A");
    }

    void readTagRefusesOtherKinds() {
        TestPrefix p;
        ScriptedPrompter script;
        QWidget form;
        auto* box = Bound<QCheckBox>(&form, "<WINDIR>Q.INI[P]BOX|1");
        ErrTagReadTag(box, kSuite);
        QCOMPARE(script.shown(), (QList<platform::Message>{{"Quarn", "invalid tag type of object sent",
                                                           platform::Buttons::Ok, platform::Icon::None, 0}}));
        QVERIFY(!box->isChecked());
    }
};

QTEST_MAIN(TestTagIni)
#include "tst_tagini.moc"
