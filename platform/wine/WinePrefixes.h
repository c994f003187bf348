#pragma once
// Which Wine prefix holds the suite, and which Wine starts its programs.
//
// The prefix comes from, in order: --prefix, $WINEPREFIX, the choice the user
// made before (remembered in ~/.config/quarn/quarn.conf), else a search of
// the places where Wine and the Wine managers keep prefixes, keeping those
// that hold the suite. Once chosen it is put in force for the process, and
// WinePrefix() answers it.

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace platform {

enum class Manager { Wine, Bottles, BottlesFlatpak, PlayOnLinux, CrossOver, Lutris, Games, Folder };

// "Wine", "Bottles", "Bottles (Flatpak)", "PlayOnLinux", "CrossOver",
// "Lutris", "Games", "Folder".
QString ManagerName(Manager manager);

struct PrefixPlace {
    Manager manager = Manager::Folder;
    QString name;   // the bottle's, game's or folder's own name
    QString folder; // the prefix: it holds drive_c and dosdevices
    QString wine;   // a Lutris game's own Wine, where its game file names one
    bool operator==(const PrefixPlace&) const = default;
};

// A folder as its links lead, else as written (made absolute): also when it
// lies on a share that does not answer in time.
QString ResolvedFolder(const QString& folder);

// Whether two folders are the same prefix, however spelt or linked (as
// spelt, for a folder on a share that does not answer in time).
bool SameFolder(const QString& a, const QString& b);

// Whether a prefix holds the suite: its QUARN2.INI, non-empty, in the suite
// folder or the Windows directory, where start-up looks for it. A prefix on a
// share that does not answer within five seconds holds none.
bool HoldsSuite(const QString& prefixFolder);

struct PrefixSearch {
    QList<PrefixPlace> found; // those that hold the suite, in search order
    QStringList searched;     // each place looked at, "~/" for the home
    bool timedOut = false;    // a place did not answer within five seconds
};

// Looks in `home`: ~/.wine; Bottles' bottles (and its Flatpak's); PlayOnLinux;
// CrossOver; the prefixes that Lutris' game files name; ~/Games/*. Reads a
// few small files per place and lists no more than these folders.
PrefixSearch SearchPrefixes(const QString& home);

enum class PrefixSource { CommandLine, Environment, Remembered, Found, None, Several };

// "--prefix", "$WINEPREFIX", "your choice", "the only suite found",
// "no suite found", "several suites found".
QString SourceText(PrefixSource source);

struct PrefixChoice {
    PrefixSource source = PrefixSource::None;
    PrefixPlace place;   // for None and Several: ~/.wine, as ever
    PrefixSearch search; // when a search ran
};

// The prefix to use, by the order above. `commandLine` is --prefix's value
// ("" for none).
PrefixChoice ChoosePrefix(const QString& commandLine, const QString& home);

// The user's choice, for the next start.
std::optional<PrefixPlace> RememberedPrefix();
void RememberPrefix(const PrefixPlace& place);

// Puts a prefix in force for this process and the programs it starts
// ($WINEPREFIX), and what it belongs to for WindowsProgram().
void UsePrefix(const PrefixPlace& place);
PrefixPlace PrefixInForce();

} // namespace platform
