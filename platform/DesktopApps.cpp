#include "DesktopApps.h"

#include <QDir>
#include <QFile>
#include <QMimeDatabase>
#include <QSet>
#include <QStandardPaths>

namespace platform {
namespace {

using Groups = QHash<QString, QHash<QString, QString>>;

// Desktop files and mimeapps.list share one grammar; QSettings would take the
// "/" in a type's name for a group.
Groups ReadKeyFile(const QString& path) {
    Groups groups;
    QFile f(path);
    if (f.size() > 4 * 1024 * 1024 || !f.open(QIODevice::ReadOnly))
        return groups;
    QString group;
    while (!f.atEnd()) {
        const QString line = QString::fromUtf8(f.readLine()).trimmed();
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
        } else if (const qsizetype eq = line.indexOf(u'='); eq > 0 && !line.startsWith(u'#')) {
            groups[group].insert(line.left(eq).trimmed(), line.mid(eq + 1).trimmed());
        }
    }
    return groups;
}

QStringList Split(const QString& list) {
    return list.split(u';', Qt::SkipEmptyParts);
}

QStringList Dirs(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable);
    return (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts);
}

// "vendor-app.desktop" may live as applications/vendor/app.desktop.
QString DesktopFile(const QStringList& applicationDirs, const QString& id) {
    for (const QString& dir : applicationDirs) {
        QString candidate = dir + u'/' + id;
        if (QFile::exists(candidate))
            return candidate;
        for (qsizetype dash = id.indexOf(u'-'); dash > 0; dash = id.indexOf(u'-', dash + 1)) {
            candidate = dir + u'/' + QString(id).replace(dash, 1, u'/');
            if (QFile::exists(candidate))
                return candidate;
        }
    }
    return {};
}

bool Usable(const QString& desktopFile) {
    if (desktopFile.isEmpty())
        return false;
    const auto entry = ReadKeyFile(desktopFile).value(QStringLiteral("Desktop Entry"));
    return entry.value(QStringLiteral("Hidden")) != u"true" &&
           !entry.value(QStringLiteral("Exec")).isEmpty();
}

} // namespace

QString DesktopApplicationFor(const QString& hostFile) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(hostFile);
    QStringList types{type.name()};
    types += type.aliases();
    types += type.allAncestors();
    types.removeAll(QStringLiteral("application/octet-stream"));
    if (types.isEmpty())
        return {};

    const QString home = QDir::homePath();
    const QStringList configDirs = Dirs("XDG_CONFIG_HOME", home + QStringLiteral("/.config")) +
                                   Dirs("XDG_CONFIG_DIRS", QStringLiteral("/etc/xdg"));
    QStringList applicationDirs;
    for (const QString& d :
         Dirs("XDG_DATA_HOME", home + QStringLiteral("/.local/share")) +
             Dirs("XDG_DATA_DIRS", QStringLiteral("/usr/local/share:/usr/share")))
        applicationDirs += d + QStringLiteral("/applications");

    // Earlier lists win: a user's removal hides a system-wide addition.
    QSet<QString> removed;
    for (const QString& dir : configDirs + applicationDirs) {
        const Groups list = ReadKeyFile(dir + QStringLiteral("/mimeapps.list"));
        for (const QString& t : types) {
            for (const char* group : {"Default Applications", "Added Associations"}) {
                for (const QString& id : Split(list.value(QLatin1String(group)).value(t))) {
                    if (!removed.contains(id) && Usable(DesktopFile(applicationDirs, id)))
                        return id;
                }
            }
            for (const QString& id :
                 Split(list.value(QStringLiteral("Removed Associations")).value(t)))
                removed.insert(id);
        }
    }

    for (const QString& dir : applicationDirs) {
        const QDir applications(dir);
        for (const QString& name :
             applications.entryList({QStringLiteral("*.desktop")}, QDir::Files)) {
            const QString path = applications.filePath(name);
            const auto entry = ReadKeyFile(path).value(QStringLiteral("Desktop Entry"));
            const QStringList handled = Split(entry.value(QStringLiteral("MimeType")));
            for (const QString& t : types) {
                if (handled.contains(t) && !removed.contains(name) && Usable(path))
                    return name;
            }
        }
    }
    return {};
}

} // namespace platform
