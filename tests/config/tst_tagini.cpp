// Control tags: the grammar, the macros, and loading and saving controls;
// the tables are tagini_*.txt.

#include "config/TagIni.h"
#include "config/WPINI.h"
#include "platform/win/HostError.h"
#include "tests/support/Cases.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QTest>

using namespace TagIni;

const QString kSuite = QStringLiteral("C:\\VALUATOR\\QUARN2.INI");

template <class W> static W* Bound(QWidget* parent, const QString& tag) {
    auto* w = new W(parent);
    w->setProperty("tag", tag);
    return w;
}

class TestTagIni : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void parse_data() { AddCases("config/tagini_parse.txt"); }
    void parse() {
        QFETCH(Row, row);
        const QString tag = row["tag"];
        TestPrefix p;
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI",
                "[DIRECTORIES]\r\nDATADIR=C:\\DATA\r\nUSERDIR=C:\\U\\\r\n");
        const std::unique_ptr<QLineEdit> w(Bound<QLineEdit>(nullptr, tag));
        const TagParts t = ParseTag(tag, kSuite);
        QCOMPARE((QStringList{QString::number(ErrTagLegit(w.get())), t.IniFile, t.Section, t.Key,
                              t.Default, t.KeyPrefix, QString::number(t.Width)}),
                 row.fields({"legit", "file", "section", "key", "default", "prefix", "width"}));
    }

    void values_data() { AddCases("config/tagini_values.txt"); }
    void values() {
        QFETCH(Row, row);
        TestPrefix p;
        // A bare name: the Windows directory's.
        if (row["stored"] != u"<none>")
            WPINI::WriteIni("Q.INI", "P", "V", row["stored"]);
        QWidget form;
        const QString tag = "<WINDIR>Q.INI[P]V|" + row["default"];
        QAbstractButton* control = row["control"] == u"check"
                                       ? static_cast<QAbstractButton*>(Bound<QCheckBox>(&form, tag))
                                       : Bound<QRadioButton>(&form, tag);
        auto* box = qobject_cast<QCheckBox*>(control);
        if (box)
            box->setTristate(true), box->setCheckState(Qt::Checked); // a stored 0 must clear it
        ScriptedPrompter script;
        QString state = QStringLiteral("error");
        try {
            LoadTaggedControls(&form, kSuite);
            state = QStringList{"unchecked", "grayed",
                                "checked"}[box ? box->checkState() : 2 * control->isChecked()];
            SaveTaggedControls(&form, kSuite); // a grayed box is set
            QCOMPARE(WPINI::ReadIni("Q.INI", "P", "V", "-"), state == u"unchecked" ? u"0" : u"1");
        } catch (const platform::RuntimeError&) {
        }
        QCOMPARE(state + QString::number(script.shown().size()), row["state"] + u'0');
    }

    void formsLoadAndSave() {
        TestPrefix p;
        const QString ini = p.driveC() + "/windows/Q.INI";
        p.write(ini, "[T]\r\nTEXT=C:\\A\r\n[P]\r\nA=0\r\nB=0\r\n[HISTORY]\r\nITEM09=stale\r\n["
                     "OTHER]\r\nk=1\r\n");
        QWidget form;
        auto* text = Bound<QLineEdit>(&form, "<WINDIR>Q.INI[T]TEXT|");
        auto* missing = Bound<QLineEdit>(&form, "<WINDIR>Q.INI[T]NOKEY|");
        auto* a = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]A|1");
        auto* b = Bound<QRadioButton>(&form, "<WINDIR>Q.INI[P]B|1");
        auto* list = Bound<QListWidget>(&form, "<WINDIR>Q.INI[HISTORY]ITEM##");
        auto* narrow = Bound<QComboBox>(&form, "<WINDIR>Q.INI[H]I#");
        missing->setText("old");
        b->setChecked(true);
        LoadTaggedControls(&form, kSuite);
        QCOMPARE(text->text() + missing->text(), u"C:\\A");
        // A stored 0 clears even the group's checked one.
        QVERIFY(!a->isChecked() && !b->isChecked());
        WPINI::WriteIni("Q.INI", "P", "A", "1");
        WPINI::WriteIni("Q.INI", "P", "B", "1");
        LoadTaggedControls(&form, kSuite);
        QVERIFY(!a->isChecked() && b->isChecked()); // the later one wins
        a->setChecked(true);                        // and the group still works as one
        text->setText("typed");                     // text boxes are never saved
        list->addItems({"alpha", "", "gamma"});
        for (int i = 1; i <= 12; ++i) // more than one digit can number
            narrow->addItem(QString::number(i));
        SaveTaggedControls(&form, kSuite);
        QCOMPARE(TestPrefix::read(ini),
                 TestPrefix::read(QUARN_TESTS_DIR "/config/tagini_saved.ini"));
        LoadTaggedControls(&form, kSuite);
        // An empty entry ends a list.
        QCOMPARE((QList<int>{list->count(), narrow->count()}), (QList<int>{1, 9}));
        // The text reader takes no other kind of control.
        ScriptedPrompter script;
        ErrTagReadTag(Bound<QCheckBox>(&form, "<WINDIR>Q.INI[T]TEXT|"), kSuite);
        QCOMPARE(script.shown(),
                 (QList<platform::Message>{{"Quarn", "invalid tag type of object sent",
                                            platform::Buttons::Ok, platform::Icon::None, 0}}));
    }
};

QTEST_MAIN(TestTagIni)
#include "tst_tagini.moc"
