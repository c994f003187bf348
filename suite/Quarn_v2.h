#pragma once
// Quarn_v2 is the old program's name for this unit (see docs/layout.md, Glossary).
//
// The suite's directory sets and the switch between them: where every INI
// file lives, the three sets read at start, the staged WorkingSet, and the
// write-out into the products' INI files.
//
// The whole run's state lives in one SuiteState that the main window, the
// dialogs and quarnctl share; nothing here keeps state of its own.

#include "config/WPINI.h"
#include "platform/files/AtomicFile.h"
#include "platform/files/FileLock.h"
#include "suite/DirectorySet.h"

#include <QHash>
#include <QList>
#include <QString>

#include <array>

namespace Quarn_v2 {

// The located product INI files, in the order they are located.
struct ProductFiles {
    QString kav, qxp2000, opl, photokpr, compkpr, ofckpr, drawkit;
};

struct SuiteState {
    QString WindowsDir, WindowsDrive, SuiteFolder;
    // The appraisal program's INI file (always on C:, not located) and its
    // application directory with a trailing backslash, or empty.
    QString KavIniPath = QStringLiteral("c:\\valuator\\KAV.INI");
    QString KavAppDir;
    QString SuiteIniPath;
    ProductFiles ProductIniPaths;
    DirectorySet CurrentSet, LocalSet, NetworkSet;
    QString LocalTransferRoot, NetworkTransferRoot;
    WorkingFields WorkingSet;
    // What each product directory key read, or was written, last in this
    // run, by SeenKey: the exit write leaves a key that changed since.
    QHash<QString, QString> LastSeen;
};

// Names of the product INI files as they are located.
inline const std::array<QString, 7> ProductFileNames = {
    QStringLiteral("kav.ini"),      QStringLiteral("QXP2000.INI"), QStringLiteral("OPL.INI"),
    QStringLiteral("PHOTOKPR.INI"), QStringLiteral("COMPKPR.INI"), QStringLiteral("OFCKPR.INI"),
    QStringLiteral("DRAWKIT.INI")};
// The located path of each, in ProductFileNames order.
std::array<QString, 7> ProductPathList(const ProductFiles& paths);

using WPINI::LocateSuiteIni;
void LocateSuiteFiles(SuiteState& s);

// The marker file Quarn2.ini in the suite folder, one blank line, written
// when missing or empty. A missing suite folder is left missing.
void EnsureSuiteMarker(const QString& suiteFolder);

DirectorySet ReadCurrentSet(const SuiteState& s);
DirectorySet ReadStoredSet(const SuiteState& s, const QString& section);

// Copies a set's written entries into the WorkingSet. An empty entry leaves
// the staged one as it was, so an unconfigured set never blanks a product.
void StageSet(SuiteState& s, const DirectorySet& set);

// One write into a product INI file.
struct SuiteWrite {
    QString file; // located path
    QString key;  // in section "Directories"
    QString value;
    QString WorkingFields::*field = nullptr; // where the value is staged
};
QString SeenKey(const SuiteWrite& w);
// The ten product keys with the staged values, in the order they are
// written; and the writes themselves, which leave out empty values.
QList<SuiteWrite> SuiteDirectoryKeys(const SuiteState& s);
QList<SuiteWrite> SuiteDirectoryWrites(const SuiteState& s);

// A write that did not take effect, and why. The window goes on regardless,
// as the products' own programs would; quarnctl reports them.
struct SuiteFailure {
    SuiteWrite write;
    QString why;
};
QList<SuiteFailure> WriteSuiteDirectories(SuiteState& s);
// The write at exit, in its own SwitchTurn (or without, once the wait is
// over): the same, but a key whose file value changed since this
// run last read or wrote it (a switch by quarnctl, the suite itself) keeps
// the newer value, and the WorkingSet takes it over.
QList<SuiteFailure> WriteSuiteDirectoriesAtExit(SuiteState& s);
// Notes what the ten keys hold now (start-up does, after reading the sets).
void RememberSuiteValues(SuiteState& s);
// What the user is told after a switch that left files unchanged: each such
// file once, with why; empty when every write took effect.
QString SwitchFailureText(const QList<SuiteFailure>& failures);

// One switch of the suite at a time, across programs (the window, quarnctl
// connect, follow), so that two switches never leave a mix of both sets: the
// later one waits and then makes its own whole. Keyed by the Wine prefix in
// use; a switch holds it from its read of the set in force, if any, to its
// last write. Not taken twice in one program: the second would wait for the
// first.
class SwitchTurn {
public:
    SwitchTurn();
    // Waits up to `waitMs` for it; false when another switch held it all
    // along, or at once when there is no safe folder for it.
    bool take(int waitMs = 10000);
    void release() { lock_.unlock(); }
    // What the user is told when take() failed.
    QString why() const;

private:
    platform::SharedLock lock_;
};

// Re-read the set from QUARN2.INI (so edits take effect at once), stage it,
// write it out. The caller holds the SwitchTurn.
QList<SuiteFailure> SwitchToLocal(SuiteState& s);
QList<SuiteFailure> SwitchToNetwork(SuiteState& s);

// Which stored set the products' directories come from. Entries a set
// leaves empty are not compared, since a switch leaves those keys as they
// were; paths compare without regard to case. Mixed: each key from one set
// or the other, both in use.
enum class InForce { Local, Network, Mixed, Unknown };
InForce SetInForce(const SuiteState& s);
// "LOCAL", "NETWORK", "mixed", "unknown"
QString InForceName(InForce set);

// Step by step, as start-up runs them: the Windows directory, drive and
// suite folder; the three sets and the transfer roots.
void LocateWindowsAndSuiteFolder(SuiteState& s);
void ReadKavAppDir(SuiteState& s);
void ReadDirectorySets(SuiteState& s);

// The suite as start-up would find it, its files located and its sets read,
// without writing anything (no marker): a look from outside the window.
SuiteState LookAtSuite();

// What start-up works out before the window shows, in its order: Windows
// directory and drive, suite folder and marker, the appraisal program's
// directory, the INI files, the three sets and the transfer roots, then the
// current set staged.
void InitialiseSuite(SuiteState& s);

} // namespace Quarn_v2
