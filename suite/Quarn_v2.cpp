#include "suite/Quarn_v2.h"
#include "suite/Texts.h"

#include "suite/DirectoryEntries.h"

#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/win/HostError.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"

#include <QElapsedTimer>
#include <QFile>
#include <QStringList>
#include <QThread>

#include <algorithm>
#include <memory>

using ModCommon::CkRSlash;
using ModCommon::PathExists;
using ModCommon::StripRChar;
using WPINI::ReadIni;

namespace Quarn_v2 {
namespace {

QString Read(WPINI::IniReader& ini, const QString& file, const QString& section,
             const QString& key) {
    QString v = ini.read(file, section, key, QString());
    return StripRChar(v);
}

} // namespace

namespace {

QString PathOf(const ProductFiles& files, Product p) {
    return ProductPathList(files).at(size_t(p));
}

} // namespace

std::array<QString, 7> ProductPathList(const ProductFiles& p) {
    return {p.kav, p.qxp2000, p.opl, p.photokpr, p.compkpr, p.ofckpr, p.drawkit};
}

void LocateSuiteFiles(SuiteState& s) {
    QStringList names{QStringLiteral("QUARN2.INI")};
    for (const QString& name : ProductFileNames)
        names << name;
    const QStringList found = WPINI::LocateSuiteInis(names);
    s.SuiteIniPath = found[0];
    std::array<QString*, 7> paths = {&s.ProductIniPaths.kav,     &s.ProductIniPaths.qxp2000,
                                     &s.ProductIniPaths.opl,     &s.ProductIniPaths.photokpr,
                                     &s.ProductIniPaths.compkpr, &s.ProductIniPaths.ofckpr,
                                     &s.ProductIniPaths.drawkit};
    for (size_t i = 0; i < paths.size(); ++i)
        *paths[i] = found[qsizetype(i) + 1];
}

void EnsureSuiteMarker(const QString& suiteFolder) {
    QString folder = suiteFolder;
    const QString marker = CkRSlash(folder) + QStringLiteral("Quarn2.ini");
    // Creating the folder is not ours to do; without it there is no marker.
    // Start-up shows no message, so a drive that is not there is no folder.
    if (!PathExists(CkRSlash(folder)) || platform::NonEmptyFileExists(marker))
        return;
    const auto host = platform::ToHostPath(marker);
    if (!host.ok())
        return;
    // Made where there is none, written only while empty: a QUARN2.INI
    // another program saved since the look is never cut short.
    QFile f(host.value);
    if (f.open(QIODevice::ReadWrite) && f.size() == 0)
        f.write(" \r\n");
}

DirectorySet ReadCurrentSet(const SuiteState& s) {
    WPINI::IniReader ini;
    DirectorySet set;
    for (const DirectoryEntry& e : DirectoryEntries)
        if (e.current.file != Product::None)
            set.*e.member = Read(ini, PathOf(s.ProductIniPaths, e.current.file),
                                 QStringLiteral("directories"), QString::fromLatin1(e.current.key));
    return set;
}

DirectorySet ReadStoredSet(const SuiteState& s, const QString& section) {
    WPINI::IniReader ini;
    DirectorySet set;
    for (int i = 0; i < kSetSize; ++i)
        set[i] = Read(ini, s.SuiteIniPath, section, QString::fromLatin1(DirectoryEntries[i].key));
    return set;
}

void StageSet(SuiteState& s, const DirectorySet& set) {
    for (const DirectoryEntry& e : DirectoryEntries)
        if (e.staged && !(set.*e.member).isEmpty())
            s.WorkingSet.*e.staged = set.*e.member;
}

QList<SuiteWrite> SuiteDirectoryKeys(const SuiteState& s) {
    QList<SuiteWrite> out;
    for (const DirectoryEntry& e : DirectoryEntries)
        for (const ProductKey& k : e.writes)
            if (k.file != Product::None)
                out << SuiteWrite{PathOf(s.ProductIniPaths, k.file), QString::fromLatin1(k.key),
                                  s.WorkingSet.*e.staged, e.staged};
    return out;
}

QString SeenKey(const SuiteWrite& w) {
    return w.file.toLower() + u'\n' + w.key.toLower();
}

void RememberSuiteValues(SuiteState& s) {
    s.LastSeen.clear();
    WPINI::IniReader ini;
    for (const SuiteWrite& w : SuiteDirectoryKeys(s))
        s.LastSeen.insert(SeenKey(w), ini.read(w.file, QStringLiteral("Directories"), w.key, {}));
}

QList<SuiteWrite> SuiteDirectoryWrites(const SuiteState& s) {
    QList<SuiteWrite> out;
    for (const SuiteWrite& write : SuiteDirectoryKeys(s))
        if (!write.value.isEmpty()) // an empty value would blank the product's key
            out << write;
    return out;
}

QList<SuiteFailure> WriteSuiteDirectories(SuiteState& s) {
    QList<SuiteFailure> failures;
    for (const SuiteWrite& w : SuiteDirectoryWrites(s)) {
        const auto done = WPINI::TryWriteIni(w.file, QStringLiteral("Directories"), w.key, w.value);
        if (done)
            s.LastSeen.insert(SeenKey(w), w.value);
        else
            failures << SuiteFailure{w, done.why};
    }
    return failures;
}

namespace {

QString SwitchLockKey() {
    return QStringLiteral("switch ") + platform::ResolvedFolder(platform::WinePrefix());
}

} // namespace

SwitchTurn::SwitchTurn() : lock_(SwitchLockKey()) {}

bool SwitchTurn::take(int waitMs) {
    QElapsedTimer clock;
    clock.start();
    int pauseMs = 1;
    while (lock_.usable() && !lock_.tryLockAlone()) {
        if (clock.elapsed() >= waitMs)
            return false;
        QThread::msleep(pauseMs);
        pauseMs = std::min(pauseMs * 2, 20);
    }
    return lock_.usable();
}

QString SwitchTurn::why() const {
    return lock_.usable() ? Texts::SwitchStillRunning()
                          : platform::ErrorDescription(platform::NoLockFolder);
}

QList<SuiteFailure> WriteSuiteDirectoriesAtExit(SuiteState& s) {
    // Past the wait the per-key check below still keeps a newer switch's values.
    SwitchTurn turn;
    turn.take();
    QList<SuiteFailure> failures;
    QList<SuiteWrite> newer;
    for (const SuiteWrite& w : SuiteDirectoryWrites(s)) {
        const auto seen = s.LastSeen.constFind(SeenKey(w));
        const auto done =
            seen == s.LastSeen.cend()
                ? WPINI::TryWriteIni(w.file, QStringLiteral("Directories"), w.key, w.value)
                : WPINI::TryWriteIniIfUnchanged(w.file, QStringLiteral("Directories"), w.key, *seen,
                                                w.value);
        if (!done)
            failures << SuiteFailure{w, done.why};
        else if (done.newer)
            newer << SuiteWrite{w.file, w.key, *done.newer, w.field};
        else
            s.LastSeen.insert(SeenKey(w), w.value);
    }
    // Staged only now, so that one product's newer key does not spread to
    // the keys written after it from the same field.
    for (SuiteWrite& w : newer) {
        s.LastSeen.insert(SeenKey(w), w.value);
        if (!w.value.isEmpty())
            s.WorkingSet.*w.field = StripRChar(w.value);
    }
    return failures;
}

QString SwitchFailureText(const QList<SuiteFailure>& failures) {
    if (failures.isEmpty())
        return {};
    QStringList seen, lines;
    for (const SuiteFailure& f : failures) {
        if (seen.contains(f.write.file, Qt::CaseInsensitive))
            continue;
        seen << f.write.file;
        QString why = f.why;
        // "Permission denied" reads on as "permission denied"; "INI" stays.
        if (why.size() > 1 && why[1].isLower())
            why[0] = why[0].toLower();
        lines << f.write.file + QStringLiteral(": ") + why;
    }
    return Texts::SwitchLeftFiles(lines.join(u'\n'));
}

namespace {

QList<SuiteFailure> SwitchTo(SuiteState& s, DirectorySet SuiteState::*set, const QString& section) {
    s.*set = ReadStoredSet(s, section);
    StageSet(s, s.*set);
    return WriteSuiteDirectories(s);
}

} // namespace

QList<SuiteFailure> SwitchToLocal(SuiteState& s) {
    return SwitchTo(s, &SuiteState::LocalSet, QStringLiteral("LOCAL"));
}

QList<SuiteFailure> SwitchToNetwork(SuiteState& s) {
    return SwitchTo(s, &SuiteState::NetworkSet, QStringLiteral("NETWORK"));
}

InForce SetInForce(const SuiteState& s) {
    const auto matches = [&](const DirectorySet& set, int i) {
        return !set[i].isEmpty() && set[i].compare(s.CurrentSet[i], Qt::CaseInsensitive) == 0;
    };
    bool local = false, network = false, allLocal = true, allNetwork = true, allKnown = true;
    bool onlyLocal = false, onlyNetwork = false;
    for (int i = 0; i < kSetSize; ++i) {
        if (!DirectoryEntries[i].staged) // Apex: not in the products' files
            continue;
        const bool l = matches(s.LocalSet, i), n = matches(s.NetworkSet, i);
        local |= l;
        network |= n;
        onlyLocal |= l && !n;
        onlyNetwork |= n && !l;
        allLocal &= l || s.LocalSet[i].isEmpty();
        allNetwork &= n || s.NetworkSet[i].isEmpty();
        if (!s.LocalSet[i].isEmpty() || !s.NetworkSet[i].isEmpty())
            allKnown &= l || n;
    }
    if (local && allLocal && !(network && allNetwork))
        return InForce::Local;
    if (network && allNetwork && !(local && allLocal))
        return InForce::Network;
    if (onlyLocal && onlyNetwork && allKnown)
        return InForce::Mixed;
    return InForce::Unknown;
}

QString InForceName(InForce set) {
    switch (set) {
    case InForce::Local: return QStringLiteral("LOCAL");
    case InForce::Network: return QStringLiteral("NETWORK");
    case InForce::Mixed: return QStringLiteral("mixed");
    case InForce::Unknown: break;
    }
    return QStringLiteral("unknown");
}

void LocateWindowsAndSuiteFolder(SuiteState& s) {
    s.WindowsDir = WPINI::GetWinDir();
    s.WindowsDrive = s.WindowsDir.left(2); // GetWinDrive's, without asking the drive again
    s.SuiteFolder = s.WindowsDrive + QStringLiteral("\\VALUATOR\\");
}

void ReadKavAppDir(SuiteState& s) {
    QString dir =
        ReadIni(s.KavIniPath, QStringLiteral("DIRECTORIES"), QStringLiteral("APPDIR"), QString());
    CkRSlash(dir);
    s.KavAppDir = ModCommon::Trim(dir);
}

SuiteState LookAtSuite() {
    SuiteState s;
    LocateWindowsAndSuiteFolder(s);
    LocateSuiteFiles(s);
    ReadDirectorySets(s);
    return s;
}

void ReadDirectorySets(SuiteState& s) {
    s.CurrentSet = ReadCurrentSet(s);
    s.LocalSet = ReadStoredSet(s, QStringLiteral("LOCAL"));
    s.NetworkSet = ReadStoredSet(s, QStringLiteral("NETWORK"));
    s.LocalTransferRoot = s.LocalSet.QXADATADIR;
    s.NetworkTransferRoot = s.NetworkSet.QXADATADIR;
}

void InitialiseSuite(SuiteState& s) {
    // The start waits for the suite's files, all on the Windows drive, and
    // each question to a drive is a hand-over to its thread: the start is one
    // question, the look's own questions answered on that thread as it goes.
    // It looks on a copy, taken only when the drive answered in time; one
    // that did not leaves the start without the suite, as one not there.
    struct Look {
        SuiteState state;
        bool done = false;
    };
    auto look = std::make_shared<Look>(Look{s});
    const bool answered = platform::AskWithinBound(QStringLiteral("C:"), [look] {
        SuiteState& found = look->state;
        LocateWindowsAndSuiteFolder(found);
        EnsureSuiteMarker(found.SuiteFolder);
        ReadKavAppDir(found);
        LocateSuiteFiles(found);
        ReadDirectorySets(found);
        StageSet(found, found.CurrentSet);
        RememberSuiteValues(found);
        look->done = true;
    });
    if (answered && look->done)
        s = std::move(look->state);
}

} // namespace Quarn_v2
