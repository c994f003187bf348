// Message boxes: the terminal's answers (and that it never hangs at the end
// of input) and the QMessageBox the windows show; the cases are in
// prompter_*.txt. The title rule shows in every box the other tests expect.

#include "platform/Prompter.h"
#include "platform/desktop/QtPrompter.h"
#include "tests/support/Cases.h"

#include <QApplication>
#include <QPushButton>
#include <QTest>

#include <cstdio>

using namespace platform;

static Buttons ButtonsNamed(const QString& name) {
    const QStringList names{"Ok",          "OkCancel", "AbortRetryIgnore",
                            "YesNoCancel", "YesNo",    "RetryCancel"};
    return Buttons(names.indexOf(name));
}

class TestPrompter : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void terminal_data() { AddCases("platform/prompter_terminal.txt"); }
    void terminal() {
        QFETCH(Row, row);
        QByteArray input = row["typed"].toUtf8() + '\0'; // a buffer even for no input
        FILE* in = fmemopen(input.data(), input.size() - 1, "r");
        char* shown = nullptr;
        size_t shownSize = 0;
        FILE* out = open_memstream(&shown, &shownSize);
        const Answer answer = TerminalPrompter(in, out).ask(
            {"Error", "Disk not ready.\r\nError # 71 in module FileExists.",
             ButtonsNamed(row["buttons"]), Icon::None, row["default"].toInt()});
        std::fclose(in);
        std::fclose(out);
        const QString text = QString::fromUtf8(shown, shownSize);
        std::free(shown);
        QCOMPARE(AnswerText(answer), row["answer"]);
        QVERIFY(text.contains("== Error ==\nDisk not ready.\nError # 71 in module FileExists.\n"));
    }

    void qtBox_data() { AddCases("platform/prompter_box.txt"); }
    void qtBox() {
        QFETCH(Row, row);
        auto box = BuildMessageBox({"Error", "Line one.\r\nLine two.", ButtonsNamed(row["buttons"]),
                                    Icon::Information, row["default"].toInt()});
        box->show(); // on screen in the order given, whatever the desktop's custom
        QList<QAbstractButton*> buttons = box->buttons();
        std::sort(buttons.begin(), buttons.end(), [](auto* a, auto* b) { return a->x() < b->x(); });
        QStringList shown{box->windowTitle(), box->text(), QString::number(box->icon())};
        for (QAbstractButton* b : buttons << box->defaultButton() << box->escapeButton())
            shown << (b ? b->text().remove(u'&') : QStringLiteral("-"));
        QCOMPARE(shown.join(u'|'),
                 QStringLiteral("Error|Line one.\nLine two.|%1|").arg(QMessageBox::Information) +
                     row["labels"].replace(u' ', u'|'));
    }
};

QTEST_MAIN(TestPrompter)
#include "tst_prompter.moc"
