#pragma once
// Which Wine starts a program: each manager keeps its own (Bottles a runner
// per bottle, CrossOver its own build, Lutris one per game), and a program
// started with another Wine may update the prefix to that Wine's version.

#include <QString>
#include <QStringList>

namespace platform {

// How to start a Windows program (a host path) in the prefix in force: the
// runner and its arguments. An empty runner means the one it needs is not
// installed.
struct Launch {
    QString runner;
    QStringList arguments;
};
Launch WindowsProgram(const QString& hostProgram, const QStringList& arguments);

} // namespace platform
