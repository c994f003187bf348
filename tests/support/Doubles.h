#pragma once
// Stand-ins for the message boxes and the shell that record what the program
// asked of them. Each serves the program for its own lifetime.

#include "platform/Prompter.h"
#include "platform/ShellOpen.h"

#include <QList>

// Answers from a queue and records every box shown. With the queue empty it
// answers with the box's default button.
class ScriptedPrompter : public platform::Prompter {
public:
    explicit ScriptedPrompter(QList<platform::Answer> answers = {})
        : answers_(std::move(answers)) {}
    // The answers by the names AnswerText gives them, split by blanks.
    explicit ScriptedPrompter(const QString& names) {
        for (const QString& name : names.split(u' ', Qt::SkipEmptyParts)) {
            int a = 0;
            while (platform::AnswerText(platform::Answer(a)) != name)
                if (++a > int(platform::Answer::No))
                    qFatal("no answer %s", qPrintable(name));
            answers_ << platform::Answer(a);
        }
    }
    platform::Answer ask(const platform::Message& message) override {
        shown_.append(message);
        if (!answers_.isEmpty())
            return answers_.takeFirst();
        return platform::ButtonAnswers(message.buttons)
            .value(message.defaultButton, platform::Answer::Ok);
    }

    const QList<platform::Message>& shown() const { return shown_; }
    qsizetype pending() const { return answers_.size(); }

private:
    QList<platform::Answer> answers_;
    QList<platform::Message> shown_;
    platform::ScopedPrompter use_{*this};
};

// Records every request and answers with a set number.
class RecordingShell : public platform::ShellService {
public:
    explicit RecordingShell(int answer = 42) : answer(answer) {}
    int execute(const platform::ShellRequest& request) override {
        requests.append(request);
        return answer;
    }
    int answer;
    QList<platform::ShellRequest> requests;

private:
    platform::ScopedShell use_{*this};
};
