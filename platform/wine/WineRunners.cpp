#include "platform/wine/WineRunners.h"

#include "platform/wine/WinePrefixes.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStandardPaths>

namespace platform {
namespace {

QString OnPath(const char* name) {
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

QString Executable(const QString& path) {
    const QFileInfo file(path);
    return file.isFile() && file.isExecutable() ? path : QString();
}

// bottles-cli joins its trailing arguments with spaces into a line that a
// shell runs: each is quoted for that shell, so a parameter keeps its
// spaces and quotes and runs nothing of its own.
QString ForShell(const QString& argument) {
    static const QRegularExpression plain(QStringLiteral(R"(^[A-Za-z0-9@%+=:,./_-]+$)"));
    if (plain.match(argument).hasMatch())
        return argument;
    QString quoted = argument;
    quoted.replace(u'\'', QStringLiteral("'\"'\"'"));
    return u'\'' + quoted + u'\'';
}

Launch ThroughBottles(QString runner, QStringList arguments, const QString& bottle,
                      const QString& program, const QStringList& parameters) {
    if (runner.isEmpty())
        return {};
    arguments << QStringLiteral("run") << QStringLiteral("-b") << bottle << QStringLiteral("-e")
              << program;
    // After "--" a parameter such as "-p" is not taken for bottles-cli's own.
    if (!parameters.isEmpty())
        arguments << QStringLiteral("--");
    for (const QString& p : parameters)
        arguments << ForShell(p);
    return {std::move(runner), std::move(arguments)};
}

} // namespace

Launch WindowsProgram(const QString& hostProgram, const QStringList& arguments) {
    const PrefixPlace place = PrefixInForce();
    QString wine;
    switch (place.manager) {
    case Manager::Bottles:
        return ThroughBottles(OnPath("bottles-cli"), {}, place.name, hostProgram, arguments);
    case Manager::BottlesFlatpak:
        return ThroughBottles(OnPath("flatpak"),
                              {QStringLiteral("run"), QStringLiteral("--command=bottles-cli"),
                               QStringLiteral("com.usebottles.bottles")},
                              place.name, hostProgram, arguments);
    case Manager::CrossOver: {
        // A per-user install comes before the system's.
        wine = Executable(QDir::homePath() + QStringLiteral("/cxoffice/bin/wine"));
        if (wine.isEmpty())
            wine = Executable(QStringLiteral("/opt/cxoffice/bin/wine"));
        if (wine.isEmpty())
            return {};
        return {wine, QStringList{QStringLiteral("--bottle"), place.name, hostProgram} + arguments};
    }
    case Manager::Lutris: wine = Executable(place.wine); break;
    default: break;
    }
    if (wine.isEmpty())
        wine = OnPath("wine");
    if (wine.isEmpty())
        return {};
    return {wine, QStringList{hostProgram} + arguments};
}

} // namespace platform
