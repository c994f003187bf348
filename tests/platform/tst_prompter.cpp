// Message boxes: the title rule, the terminal's answers (and that it never
// hangs at the end of input; cases in prompter_terminal.txt), and the
// QMessageBox the windows show.

#include "platform/Prompter.h"
#include "tests/support/Cases.h"
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
        ScriptedPrompter script;
        MsgBox("Exit Quarn?", Buttons::YesNo);
        MsgBox("Note", Buttons::Ok, Icon::Information, "Own Title");
        QCOMPARE(script.shown(), (QList<Message>{{"Quarn", "Exit Quarn?", Buttons::YesNo, Icon::None, 0},
                                                 {"Own Title", "Note", Buttons::Ok, Icon::Information, 0}}));
    }

    void terminal_data() {
        QTest::addColumn<QStringList>("c");
        for (const QStringList& c : ReadCases(QUARN_TESTS_DIR "/platform/prompter_terminal.txt"))
            QTest::newRow(qPrintable(c.last())) << c;
    }
    void terminal() {
        QFETCH(QStringList, c); // input, buttons, default button, answer
        const QStringList names{"Ok", "OkCancel", "AbortRetryIgnore", "YesNoCancel", "YesNo", "RetryCancel"};
        QByteArray input = c[0].toUtf8() + '\0'; // a buffer even for no input
        FILE* in = fmemopen(input.data(), input.size() - 1, "r");
        char* shown = nullptr;
        size_t shownSize = 0;
        FILE* out = open_memstream(&shown, &shownSize);
        const Answer answer = TerminalPrompter(in, out).ask(
            {"Error", "Disk not ready.\r\nError # 71 in module FileExists.", Buttons(names.indexOf(c[1])), Icon::None, c[2].toInt()});
        std::fclose(in);
        std::fclose(out);
        const QString text = QString::fromUtf8(shown, shownSize);
        std::free(shown);
        QCOMPARE(AnswerText(answer), c[3]);
        QVERIFY(text.contains("== Error ==\nDisk not ready.\nError # 71 in module FileExists.\n"));
    }

    void qtBox_data() {
        QTest::addColumn<Buttons>("buttons");
        QTest::addColumn<int>("defaultButton");
        QTest::addColumn<QStringList>("labels"); // left to right, then the default's and Escape's
        QTest::newRow("abort retry ignore") << Buttons::AbortRetryIgnore << 0 << QStringList{"Abort", "Retry", "Ignore", "Abort", ""};
        QTest::newRow("yes no, default no") << Buttons::YesNo << 1 << QStringList{"Yes", "No", "No", "No"};
        QTest::newRow("notice") << Buttons::Ok << 0 << QStringList{"OK", "OK", "OK"};
    }
    void qtBox() {
        QFETCH(Buttons, buttons);
        QFETCH(int, defaultButton);
        QFETCH(QStringList, labels);
        auto box = BuildMessageBox({"Error", "Line one.\r\nLine two.", buttons, Icon::Information, defaultButton});
        box->show(); // on screen as given, whatever the desktop's custom
        QList<QAbstractButton*> shown = box->buttons();
        std::sort(shown.begin(), shown.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        QStringList texts{box->windowTitle(), box->text(), QString::number(box->icon())};
        for (QAbstractButton* b : shown << box->defaultButton() << box->escapeButton())
            texts << (b ? b->text().remove(u'&') : QString());
        QCOMPARE(texts, QStringList({"Error", "Line one.\nLine two.", QString::number(QMessageBox::Information)}) + labels);
    }
};

QTEST_MAIN(TestPrompter)
#include "tst_prompter.moc"
