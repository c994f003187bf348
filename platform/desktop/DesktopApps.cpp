#include "platform/desktop/DesktopApps.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

namespace platform {
namespace {

using Groups = QHash<QString, QHash<QString, QString>>;

// Desktop files and mimeapps.list share one grammar; QSettings would take the
// "/" in a type's name for a group. Only plain files are read: a FIFO in
// their place would block the window for good.
Groups ReadKeyFile(const QString& path) {
    Groups groups;
    const QFileInfo info(path);
    if (!info.isFile() || info.size() > 4 * 1024 * 1024)
        return groups;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly))
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
    QStringList items;
    for (const QString& item : list.split(u';', Qt::SkipEmptyParts))
        if (!item.trimmed().isEmpty())
            items << item.trimmed();
    return items;
}

QStringList Dirs(const char* variable, const QString& fallback) {
    const QString value = qEnvironmentVariable(variable);
    return (value.isEmpty() ? fallback : value).split(u':', Qt::SkipEmptyParts);
}

struct Application {
    QString id;
    QHash<QString, QString> entry;
};

// Every desktop file by its id ("kde4/x.desktop" is "kde4-x.desktop"); the
// first folder that holds an id wins, so a user's hidden copy hides the
// system's.
QList<Application> Applications(const QStringList& applicationDirs) {
    QList<Application> found;
    QSet<QString> seen;
    for (const QString& dir : applicationDirs) {
        QDirIterator it(dir, {QStringLiteral("*.desktop")}, QDir::Files,
                        QDirIterator::Subdirectories);
        while (it.hasNext()) {
            const QString path = it.next();
            const QString id = QDir(dir).relativeFilePath(path).replace(u'/', u'-');
            if (seen.contains(id))
                continue;
            seen.insert(id);
            found.append({id, ReadKeyFile(path).value(QStringLiteral("Desktop Entry"))});
        }
    }
    return found;
}

bool Usable(const QHash<QString, QString>& entry) {
    return !entry.isEmpty() && entry.value(QStringLiteral("Hidden")) != u"true" &&
           (!entry.value(QStringLiteral("Exec")).isEmpty() ||
            entry.value(QStringLiteral("DBusActivatable")) == u"true");
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

    const QList<Application> applications = Applications(applicationDirs);
    const auto usable = [&](const QString& id) {
        for (const Application& a : applications)
            if (a.id == id)
                return Usable(a.entry);
        return false;
    };

    // Earlier lists win: a user's removal hides a system-wide addition.
    QSet<QString> removed;
    for (const QString& dir : configDirs + applicationDirs) {
        const Groups list = ReadKeyFile(dir + QStringLiteral("/mimeapps.list"));
        for (const QString& t : types) {
            for (const char* group : {"Default Applications", "Added Associations"}) {
                for (const QString& id : Split(list.value(QLatin1String(group)).value(t))) {
                    if (!removed.contains(id) && usable(id))
                        return id;
                }
            }
            for (const QString& id :
                 Split(list.value(QStringLiteral("Removed Associations")).value(t)))
                removed.insert(id);
        }
    }

    for (const Application& a : applications) {
        const QStringList handled = Split(a.entry.value(QStringLiteral("MimeType")));
        for (const QString& t : types) {
            if (handled.contains(t) && !removed.contains(a.id) && Usable(a.entry))
                return a.id;
        }
    }
    return {};
}

} // namespace platform
