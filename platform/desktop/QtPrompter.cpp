#include "platform/desktop/QtPrompter.h"

#include <QApplication>
#include <QPushButton>

namespace platform {
namespace {

const char* const kAnswerProperty = "quarnAnswer";

QString Caption(Answer a) {
    switch (a) {
    case Answer::Ok: return QStringLiteral("OK");
    case Answer::Cancel: return QStringLiteral("Cancel");
    case Answer::Abort: return QStringLiteral("&Abort");
    case Answer::Retry: return QStringLiteral("&Retry");
    case Answer::Ignore: return QStringLiteral("&Ignore");
    case Answer::Yes: return QStringLiteral("&Yes");
    case Answer::No: return QStringLiteral("&No");
    }
    return {};
}

QMessageBox::Icon IconFor(Icon i) {
    switch (i) {
    case Icon::None: return QMessageBox::NoIcon;
    case Icon::Critical: return QMessageBox::Critical;
    case Icon::Question: return QMessageBox::Question;
    case Icon::Exclamation: return QMessageBox::Warning;
    case Icon::Information: return QMessageBox::Information;
    }
    return QMessageBox::NoIcon;
}

} // namespace

std::unique_ptr<QMessageBox> BuildMessageBox(const Message& message, QWidget* parent) {
    auto box = std::make_unique<QMessageBox>(parent);
    box->setWindowTitle(message.title);
    box->setText(QString(message.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    box->setTextFormat(Qt::PlainText);
    box->setIcon(IconFor(message.icon));
    // One role for all, so the buttons stand in the order given rather than
    // the desktop's order by role.
    const QList<Answer> set = ButtonAnswers(message.buttons);
    const Answer esc = EscapeAnswer(message.buttons);
    for (qsizetype i = 0; i < set.size(); ++i) {
        QPushButton* b = box->addButton(Caption(set[i]), QMessageBox::ActionRole);
        b->setProperty(kAnswerProperty, int(set[i]));
        if (i == message.defaultButton)
            box->setDefaultButton(b);
        // Abort/Retry/Ignore has no safe way out: Escape and the close box do
        // nothing, as on Windows.
        if (set[i] == esc && message.buttons != Buttons::AbortRetryIgnore)
            box->setEscapeButton(b);
    }
    return box;
}

Answer QtPrompter::ask(const Message& message) {
    auto box = BuildMessageBox(message, QApplication::activeWindow());
    box->exec();
    const QAbstractButton* clicked = box->clickedButton();
    return clicked ? Answer(clicked->property(kAnswerProperty).toInt())
                   : EscapeAnswer(message.buttons);
}

} // namespace platform
