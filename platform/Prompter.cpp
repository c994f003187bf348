#include "platform/Prompter.h"

namespace platform {

QList<Answer> ButtonAnswers(Buttons buttons) {
    switch (buttons) {
    case Buttons::Ok: return {Answer::Ok};
    case Buttons::OkCancel: return {Answer::Ok, Answer::Cancel};
    case Buttons::AbortRetryIgnore: return {Answer::Abort, Answer::Retry, Answer::Ignore};
    case Buttons::YesNoCancel: return {Answer::Yes, Answer::No, Answer::Cancel};
    case Buttons::YesNo: return {Answer::Yes, Answer::No};
    case Buttons::RetryCancel: return {Answer::Retry, Answer::Cancel};
    }
    return {Answer::Ok};
}

Answer EscapeAnswer(Buttons buttons) {
    const QList<Answer> set = ButtonAnswers(buttons);
    for (Answer a : {Answer::Cancel, Answer::No, Answer::Abort})
        if (set.contains(a))
            return a;
    return set.front();
}

QString AnswerText(Answer answer) {
    switch (answer) {
    case Answer::Ok: return QStringLiteral("OK");
    case Answer::Cancel: return QStringLiteral("Cancel");
    case Answer::Abort: return QStringLiteral("Abort");
    case Answer::Retry: return QStringLiteral("Retry");
    case Answer::Ignore: return QStringLiteral("Ignore");
    case Answer::Yes: return QStringLiteral("Yes");
    case Answer::No: return QStringLiteral("No");
    }
    return {};
}

Prompter& CurrentPrompter() {
    static TerminalPrompter terminal;
    return Service<Prompter>::current(terminal);
}

Answer MsgBox(const QString& text, Buttons buttons, Icon icon, const QString& title,
              int defaultButton) {
    return CurrentPrompter().ask(
        {title.isEmpty() ? ProgramTitle : title, text, buttons, icon, defaultButton});
}

Answer TerminalPrompter::ask(const Message& message) {
    const QList<Answer> set = ButtonAnswers(message.buttons);
    const Answer fallback = set.value(message.defaultButton, set.front());
    std::fprintf(out_, "\n== %s ==\n%s\n", qUtf8Printable(message.title),
                 qUtf8Printable(
                     QString(message.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))));
    if (set.size() == 1) {
        std::fprintf(out_, "[%s]\n", qUtf8Printable(AnswerText(set.front())));
        return set.front();
    }
    for (;;) {
        QStringList names;
        for (Answer a : set)
            names << (a == fallback ? u'*' + AnswerText(a) : AnswerText(a));
        std::fprintf(out_, "%s? ", qUtf8Printable(names.join(QStringLiteral(" / "))));
        std::fflush(out_);
        char line[256];
        if (!std::fgets(line, sizeof line, in_)) {
            std::fprintf(out_, "%s\n", qUtf8Printable(AnswerText(EscapeAnswer(message.buttons))));
            return EscapeAnswer(message.buttons);
        }
        const QString reply = QString::fromUtf8(line).trimmed();
        if (reply.isEmpty())
            return fallback;
        for (Answer a : set) {
            const QString name = AnswerText(a);
            if (reply.compare(name, Qt::CaseInsensitive) == 0 ||
                (reply.size() == 1 && reply.compare(name.left(1), Qt::CaseInsensitive) == 0))
                return a;
        }
    }
}

} // namespace platform
