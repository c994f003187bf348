#include "platform/wine/WinePrefixes.h"

#include "platform/win/WinPath.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSettings>
#include <QStandardPaths>

#include <memory>

namespace platform {
namespace {

// The places where prefixes live, each with the manager it belongs to; a
// "*" stands for each folder in it.
struct Place {
    Manager manager;
    const char* path;
};
constexpr Place kPlaces[] = {
    {Manager::Wine, ".wine"},
    {Manager::Bottles, ".local/share/bottles/bottles/*"},
    {Manager::BottlesFlatpak, ".var/app/com.usebottles.bottles/data/bottles/bottles/*"},
    {Manager::PlayOnLinux, ".PlayOnLinux/wineprefix/*"},
    {Manager::CrossOver, ".cxoffice/*"},
    {Manager::Lutris, ".config/lutris/games/*.yml"},
    {Manager::Lutris, ".local/share/lutris/games/*.yml"},
    {Manager::Games, "Games/*"},
};

// "~/x" and "$HOME/x" in a game file mean the home's x.
QString Expanded(QString path, const QString& home) {
    if (path.startsWith(u"~/"))
        path.replace(0, 1, home);
    else if (path.startsWith(u"$HOME/"))
        path.replace(0, 5, home);
    return path;
}

// The two values of a Lutris game file that matter here: game.prefix and
// wine.version. The files are small YAML maps; a full parser is not needed
// to find two keys one level down.
std::pair<QString, QString> ReadGameFile(const QString& path) {
    QFile f(path);
    if (QFileInfo(path).size() > 1024 * 1024 || !f.open(QIODevice::ReadOnly))
        return {};
    QString block, prefix, version;
    static const QRegularExpression entry(R"(^(\s*)([A-Za-z_]+):\s*(.*?)\s*$)");
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        const auto m = entry.match(line);
        if (!m.hasMatch())
            continue;
        QString value = m.captured(3);
        if (value.size() >= 2 && (value.startsWith(u'"') || value.startsWith(u'\'')) &&
            value.endsWith(value[0]))
            value = value.mid(1, value.size() - 2);
        if (m.captured(1).isEmpty())
            block = m.captured(2);
        else if (block == u"game" && m.captured(2) == u"prefix")
            prefix = value;
        else if (block == u"wine" && m.captured(2) == u"version")
            version = value;
    }
    return {prefix, version};
}

// Every prefix the places name, whether or not it holds the suite.
QList<PrefixPlace> Candidates(const QString& home, QStringList* searched) {
    QList<PrefixPlace> out;
    for (const Place& place : kPlaces) {
        const QString relative = QString::fromLatin1(place.path);
        if (searched)
            *searched << QStringLiteral("~/") + relative;
        const QString full = home + u'/' + relative;
        if (!relative.contains(u'*')) {
            out.append({place.manager, QFileInfo(full).fileName(), full, {}});
            continue;
        }
        const QDir dir(QFileInfo(full).path());
        const bool gameFiles = relative.endsWith(u".yml");
        const QStringList names =
            gameFiles ? dir.entryList({QStringLiteral("*.yml")}, QDir::Files, QDir::Name)
                      : dir.entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
        for (const QString& name : names) {
            if (!gameFiles) {
                out.append({place.manager, name, dir.filePath(name), {}});
                continue;
            }
            const auto [prefix, version] = ReadGameFile(dir.filePath(name));
            if (prefix.isEmpty())
                continue;
            // A game file is named after its game and a number: "office-1700000000.yml".
            QString game = QFileInfo(name).completeBaseName();
            game.remove(QRegularExpression(QStringLiteral("-\\d+$")));
            const QString wine =
                home + QStringLiteral("/.local/share/lutris/runners/wine/") + version + "/bin/wine";
            out.append({Manager::Lutris, game, Expanded(prefix, home),
                        !version.isEmpty() && QFileInfo(wine).isExecutable() ? wine : QString()});
        }
    }
    return out;
}

// The place a folder stands for: the manager's own when it is one of theirs,
// and a plain folder when that cannot be told in time.
PrefixPlace Classify(const QString& folder, const QString& home) {
    const QString absolute = QDir(folder).absolutePath();
    const PrefixPlace plain{Manager::Folder, QFileInfo(absolute).fileName(), absolute, {}};
    auto found = std::make_shared<PrefixPlace>(plain);
    if (!AskWithinBound(absolute, [found, absolute, home] {
            for (const PrefixPlace& p : Candidates(home, nullptr))
                if (SameFolder(p.folder, absolute)) {
                    *found = {p.manager, p.name, absolute, p.wine};
                    return;
                }
        }))
        return plain;
    return *found;
}

// The places the search looks in, as it names them.
QStringList SearchedPlaces() {
    QStringList out;
    for (const Place& place : kPlaces)
        out << QStringLiteral("~/") + QString::fromLatin1(place.path);
    return out;
}

QString ConfigFile() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/quarn/quarn.conf");
}

std::optional<PrefixPlace> gInForce;

} // namespace

QString ManagerName(Manager manager) {
    switch (manager) {
    case Manager::Wine: return QStringLiteral("Wine");
    case Manager::Bottles: return QStringLiteral("Bottles");
    case Manager::BottlesFlatpak: return QStringLiteral("Bottles (Flatpak)");
    case Manager::PlayOnLinux: return QStringLiteral("PlayOnLinux");
    case Manager::CrossOver: return QStringLiteral("CrossOver");
    case Manager::Lutris: return QStringLiteral("Lutris");
    case Manager::Games: return QStringLiteral("Games");
    case Manager::Folder: break;
    }
    return QStringLiteral("Folder");
}

QString SourceText(PrefixSource source) {
    switch (source) {
    case PrefixSource::CommandLine: return QStringLiteral("--prefix");
    case PrefixSource::Environment: return QStringLiteral("$WINEPREFIX");
    case PrefixSource::Remembered: return QStringLiteral("your choice");
    case PrefixSource::Found: return QStringLiteral("the only suite found");
    case PrefixSource::Several: return QStringLiteral("several suites found");
    case PrefixSource::None: break;
    }
    return QStringLiteral("no suite found");
}

QString ResolvedFolder(const QString& folder) {
    auto c = std::make_shared<QString>();
    if (AskWithinBound(folder,
                       [c, folder] {
                           ProbeHost(folder);
                           *c = QFileInfo(folder).canonicalFilePath();
                       }) &&
        !c->isEmpty())
        return *c;
    return QDir(folder).absolutePath();
}

bool SameFolder(const QString& a, const QString& b) {
    return ResolvedFolder(a) == ResolvedFolder(b);
}

bool HoldsSuite(const QString& prefixFolder) {
    // One ask of the prefix's share: a prefix that does not answer holds none.
    auto holds = std::make_shared<bool>(false);
    return AskWithinBound(prefixFolder,
                          [holds, prefixFolder] {
                              const ScopedWinePrefix in(prefixFolder);
                              const QString windows = WindowsDirectory();
                              *holds =
                                  !windows.isEmpty() &&
                                  (NonEmptyFileExists(windows.left(2) +
                                                      QStringLiteral("\\Valuator\\QUARN2.INI")) ||
                                   NonEmptyFileExists(windows + QStringLiteral("\\QUARN2.INI")));
                          }) &&
           *holds;
}

PrefixSearch SearchPrefixes(const QString& home) {
    // A prefix on a share that hangs must not hold the start for good: what
    // the search has not finished under the bound counts as not found, and
    // while it is still running, a later search finds nothing at once. So
    // does one without a thread to search with.
    auto found = std::make_shared<PrefixSearch>();
    const auto search = [found, home] {
        PrefixSearch s;
        QStringList seen;
        for (const PrefixPlace& p : Candidates(home, &s.searched)) {
            const QString key = ResolvedFolder(p.folder);
            if (!seen.contains(key) && HoldsSuite(p.folder)) {
                seen << key;
                s.found << p;
            }
        }
        *found = s;
    };
    if (AskWithinBound(home, search))
        return *found;
    return {{}, SearchedPlaces(), true};
}

PrefixChoice ChoosePrefix(const QString& commandLine, const QString& home) {
    if (!commandLine.isEmpty())
        return {PrefixSource::CommandLine, Classify(commandLine, home), {}};
    if (const QString env = qEnvironmentVariable("WINEPREFIX"); !env.isEmpty())
        return {PrefixSource::Environment, Classify(env, home), {}};
    if (const auto chosen = RememberedPrefix(); chosen && HoldsSuite(chosen->folder))
        return {PrefixSource::Remembered, Classify(chosen->folder, home), {}};
    PrefixChoice c;
    c.search = SearchPrefixes(home);
    if (c.search.found.size() == 1) {
        c.source = PrefixSource::Found;
        c.place = c.search.found.first();
        return c;
    }
    c.source = c.search.found.isEmpty() ? PrefixSource::None : PrefixSource::Several;
    c.place = Classify(home + QStringLiteral("/.wine"), home);
    return c;
}

std::optional<PrefixPlace> RememberedPrefix() {
    const QString folder =
        QSettings(ConfigFile(), QSettings::IniFormat).value(QStringLiteral("prefix")).toString();
    if (folder.isEmpty())
        return std::nullopt;
    return PrefixPlace{Manager::Folder, QFileInfo(folder).fileName(), folder, {}};
}

void RememberPrefix(const PrefixPlace& place) {
    QSettings settings(ConfigFile(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("prefix"), place.folder);
}

void UsePrefix(const PrefixPlace& place) {
    gInForce = place;
    qputenv("WINEPREFIX", QFile::encodeName(place.folder));
}

PrefixPlace PrefixInForce() {
    if (gInForce)
        return *gInForce;
    return {Manager::Folder, QFileInfo(WinePrefix()).fileName(), WinePrefix(), {}};
}

} // namespace platform
