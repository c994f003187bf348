#pragma once
// Message boxes. The program talks to its user only through these; windows
// show them with QMessageBox, quarnctl on the terminal, and tests answer them
// from a script and read back every box that was shown.

#include "platform/Service.h"

#include <QList>
#include <QString>

#include <cstdio>

namespace platform {

// Shown when a box is given no title.
inline const QString ProgramTitle = QStringLiteral("Quarn");

enum class Buttons { Ok, OkCancel, AbortRetryIgnore, YesNoCancel, YesNo, RetryCancel };
enum class Icon { None, Critical, Question, Exclamation, Information };
enum class Answer { Ok, Cancel, Abort, Retry, Ignore, Yes, No };

struct Message {
    QString title;
    QString text;
    Buttons buttons = Buttons::Ok;
    Icon icon = Icon::None;
    int defaultButton = 0; // index into ButtonAnswers(buttons)
    bool operator==(const Message&) const = default;
};

// The buttons of a set, left to right.
QList<Answer> ButtonAnswers(Buttons buttons);
// The answer Escape or the end of input gives: Cancel, No or the last resort
// a set offers (Abort; Ok for a notice).
Answer EscapeAnswer(Buttons buttons);
QString AnswerText(Answer answer); // "OK", "Abort", "Retry" ...

class Prompter {
public:
    virtual ~Prompter() = default;
    virtual Answer ask(const Message& message) = 0;
};

// The prompter in use; a terminal prompter until one is installed.
Prompter& CurrentPrompter();

// Shows a box through the current prompter; an empty title becomes the
// program's title.
Answer MsgBox(const QString& text, Buttons buttons = Buttons::Ok, Icon icon = Icon::None,
              const QString& title = {}, int defaultButton = 0);

// Installs a prompter for the lifetime of this object.
using ScopedPrompter = Service<Prompter>::Scoped;

// Prints the box on `out` and reads the answer from `in`: a button's name or
// its first letter, without regard to case; an empty line takes the default.
// At the end of input it takes EscapeAnswer, so a script never hangs.
class TerminalPrompter : public Prompter {
public:
    explicit TerminalPrompter(FILE* in = stdin, FILE* out = stderr) : in_(in), out_(out) {}
    Answer ask(const Message& message) override;

private:
    FILE* in_;
    FILE* out_;
};

} // namespace platform
