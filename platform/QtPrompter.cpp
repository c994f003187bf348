#include "QtPrompter.h"

#include <QApplication>
#include <QPushButton>

namespace platform {
namespace {

QMessageBox::StandardButton StandardButtonFor(Answer a) {
    switch (a) {
    case Answer::Ok: return QMessageBox::Ok;
    case Answer::Cancel: return QMessageBox::Cancel;
    case Answer::Abort: return QMessageBox::Abort;
    case Answer::Retry: return QMessageBox::Retry;
    case Answer::Ignore: return QMessageBox::Ignore;
    case Answer::Yes: return QMessageBox::Yes;
    case Answer::No: return QMessageBox::No;
    }
    return QMessageBox::Ok;
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
    const QList<Answer> set = ButtonAnswers(message.buttons);
    for (qsizetype i = 0; i < set.size(); ++i) {
        QPushButton* b = box->addButton(StandardButtonFor(set[i]));
        if (i == message.defaultButton)
            box->setDefaultButton(b);
    }
    const Answer esc = EscapeAnswer(message.buttons);
    // Abort/Retry/Ignore has no safe way out: Escape does nothing, as on Windows.
    if (message.buttons != Buttons::AbortRetryIgnore)
        box->setEscapeButton(box->button(StandardButtonFor(esc)));
    return box;
}

Answer QtPrompter::ask(const Message& message) {
    auto box = BuildMessageBox(message, QApplication::activeWindow());
    box->exec();
    const auto clicked = box->standardButton(box->clickedButton());
    for (Answer a : ButtonAnswers(message.buttons))
        if (StandardButtonFor(a) == clicked)
            return a;
    return EscapeAnswer(message.buttons);
}

} // namespace platform
