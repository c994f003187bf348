#include "platform/desktop/FollowService.h"

#include <QProcess>

namespace platform {
namespace {

const QString kUnit = QStringLiteral("quarn-follow.service");

// systemctl answers at once; a user manager that does not is not waited on.
QProcess* Systemctl(QProcess& p, const QStringList& arguments) {
    p.start(QStringLiteral("systemctl"), QStringList{QStringLiteral("--user")} + arguments);
    p.waitForFinished(10000);
    return &p;
}

} // namespace

bool FollowServiceEnabled() {
    QProcess p;
    Systemctl(p, {QStringLiteral("is-enabled"), QStringLiteral("--quiet"), kUnit});
    return p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

QString SetFollowService(bool on) {
    QProcess p;
    Systemctl(p, {on ? QStringLiteral("enable") : QStringLiteral("disable"),
                  QStringLiteral("--now"), kUnit});
    if (p.error() == QProcess::FailedToStart)
        return QStringLiteral("systemctl is not installed");
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished();
        return QStringLiteral("systemctl did not answer");
    }
    if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0)
        return {};
    const QString said = QString::fromLocal8Bit(p.readAllStandardError()).trimmed();
    return said.isEmpty() ? QStringLiteral("systemctl failed") : said.section(u'\n', 0, 0);
}

} // namespace platform
