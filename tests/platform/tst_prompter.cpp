// Message boxes: the title rule, the scripted answers tests rely on, the
// terminal's answers (and that it never hangs at the end of input), and the
// QMessageBox the windows show.

#include "platform/Prompter.h"
#include "tests/support/Doubles.h"
#include "platform/QtPrompter.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <cstdio>

using namespace platform;

class TestPrompter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void emptyTitleIsTheProgramTitle() {
        ScriptedPrompter script({Answer::No});
        QCOMPARE(MsgBox("Exit Quarn?", Buttons::YesNo), Answer::No);
        QCOMPARE(MsgBox("Note", Buttons::Ok, Icon::Information, "Own Title"), Answer::Ok);
        QCOMPARE(script.shown(),
                 (QList<Message>{{"Quarn", "Exit Quarn?", Buttons::YesNo, Icon::None, 0},
                                 {"Own Title", "Note", Buttons::Ok, Icon::Information, 0}}));
        QCOMPARE(script.unexpected(), 1); // the notice had no scripted answer
    }

    void scopedPrompterRestores() {
        ScriptedPrompter outer;
        {
            ScriptedPrompter inner;
            MsgBox("inner");
            QCOMPARE(inner.shown().size(), 1);
        }
        MsgBox("outer");
        QCOMPARE(outer.shown().size(), 1);
    }

    void terminal_data() {
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<Answer>("answer");
        QTest::newRow("first letter") << QByteArray("r\n") << int(Buttons::AbortRetryIgnore) << 0 << Answer::Retry;
        QTest::newRow("whole word, any case") << QByteArray("IGNORE\n") << int(Buttons::AbortRetryIgnore) << 0 << Answer::Ignore;
        QTest::newRow("empty line takes default") << QByteArray("\n") << int(Buttons::YesNo) << 1 << Answer::No;
        QTest::newRow("asks again after nonsense") << QByteArray("maybe\ny\n") << int(Buttons::YesNo) << 1 << Answer::Yes;
        QTest::newRow("end of input: abort") << QByteArray() << int(Buttons::AbortRetryIgnore) << 1 << Answer::Abort;
        QTest::newRow("end of input: no") << QByteArray() << int(Buttons::YesNo) << 0 << Answer::No;
        QTest::newRow("end of input: cancel") << QByteArray("x\n") << int(Buttons::YesNoCancel) << 0 << Answer::Cancel;
        QTest::newRow("notice needs no input") << QByteArray() << int(Buttons::Ok) << 0 << Answer::Ok;
    }
    void terminal() {
        QFETCH(QByteArray, input);
        QFETCH(int, buttons);
        QFETCH(int, defaultButton);
        QFETCH(Answer, answer);
        FILE* in = input.isEmpty() ? std::fopen("/dev/null", "r")
                                   : fmemopen(input.data(), input.size(), "r");
        char* shown = nullptr;
        size_t shownSize = 0;
        FILE* out = open_memstream(&shown, &shownSize);
        TerminalPrompter t(in, out);
        QCOMPARE(t.ask({"Error", "Disk not ready.\r\nError # 71 in module FileExists.",
                        Buttons(buttons), Icon::None, defaultButton}),
                 answer);
        std::fclose(in);
        std::fclose(out);
        const QString text = QString::fromUtf8(shown, shownSize);
        std::free(shown);
        QVERIFY(text.contains("== Error ==\nDisk not ready.\nError # 71 in module FileExists.\n"));
    }

    void qtBox_data() {
        QTest::addColumn<int>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QString>("defaultLabel");
        QTest::addColumn<QString>("escapeLabel");
        QTest::newRow("abort retry ignore") << int(Buttons::AbortRetryIgnore) << 0 << QStringList{"Abort", "Retry", "Ignore"} << "Abort" << "";
        QTest::newRow("yes no, default no") << int(Buttons::YesNo) << 1 << QStringList{"Yes", "No"} << "No" << "No";
        QTest::newRow("notice") << int(Buttons::Ok) << 0 << QStringList{"OK"} << "OK" << "OK";
    }
    void qtBox() {
        QFETCH(int, buttons);
        QFETCH(int, defaultButton);
        QFETCH(QStringList, labels);
        QFETCH(QString, defaultLabel);
        QFETCH(QString, escapeLabel);
        auto box = BuildMessageBox({"Error", "Line one.\r\nLine two.", Buttons(buttons),
                                    Icon::Information, defaultButton});
        QCOMPARE(box->windowTitle(), u"Error");
        QCOMPARE(box->text(), u"Line one.\nLine two.");
        QCOMPARE(box->icon(), QMessageBox::Information);
        QStringList shown;
        for (QAbstractButton* b : box->buttons())
            shown << b->text().remove(u'&');
        QCOMPARE(shown, labels);
        // On screen too, left to right, whatever the desktop's custom.
        box->show();
        QStringList onScreen;
        QList<QAbstractButton*> byX = box->buttons();
        std::sort(byX.begin(), byX.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        for (QAbstractButton* b : byX)
            onScreen << b->text().remove(u'&');
        QCOMPARE(onScreen, labels);
        QCOMPARE(box->defaultButton()->text().remove(u'&'), defaultLabel);
        QCOMPARE(box->escapeButton() ? box->escapeButton()->text().remove(u'&') : QString(), escapeLabel);
    }
};

QTEST_MAIN(TestPrompter)
#include "tst_prompter.moc"
