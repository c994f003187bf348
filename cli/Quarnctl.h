#pragma once
// quarnctl: the program's work without windows, for scripts and support.

#include "platform/Prompter.h"
#include "suite/Quarn_v2.h"

#include <QStringList>

#include <QTextStream>
#include <optional>

namespace cli {

// Runs one command line (without the program name). Exit status: 0 done,
// 1 failed (a message on `err`), 2 a usage error.
int Quarnctl(const QStringList& args, QTextStream& out, QTextStream& err);

// quarnctl connect local|network: writes that set into the products' INI
// files and reports what changed.
int ConnectSet(const QString& which, QTextStream& out, QTextStream& err);

// Questions answered by a flag; every box still shows on the terminal.
class FixedPrompter : public platform::Prompter {
public:
    explicit FixedPrompter(platform::Answer answer) : answer_(answer) {}
    platform::Answer ask(const platform::Message& m) override;

private:
    platform::Answer answer_;
};

// A command's questions answered by --yes or --no, else by the terminal, else
// No, for the lifetime of this.
class FlagAnswers {
public:
    explicit FlagAnswers(const QStringList& optionNames);

private:
    std::optional<FixedPrompter> fixed_;
    std::optional<platform::ScopedPrompter> use_;
};

} // namespace cli
