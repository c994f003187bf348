#include "office/SyncPlan.h"
#include "office/ReportVersions.h"
#include "office/Texts.h"
#include "suite/CopyProcedure.h"

#include "config/ModCommon.h"
#include "platform/files/HostFile.h"
#include "platform/share/FolderListing.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"

#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>

#include <openssl/evp.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <map>
#include <mutex>
#include <optional>
#include <system_error>

using platform::SeenReport;
using platform::SeenVersion;

namespace SyncPlan {
namespace {

bool SameTime(qint64 a, qint64 b) {
    return std::abs(a - b) <= kTimeToleranceMs;
}

QString Stem(const QString& report) {
    QString name, ext;
    CopyProcedure::ReportNameParts(report, name, ext);
    return name;
}

bool IsSketch(const QString& upperName, const QString& stem, bool plandraw) {
    if (plandraw)
        return upperName == stem + QStringLiteral(".SK3");
    for (const auto option : {CopyProcedure::Sketch::ApexAxf, CopyProcedure::Sketch::ApexAx2,
                              CopyProcedure::Sketch::ApexAx3})
        if (upperName == stem + CopyProcedure::SketchExtension(option))
            return true;
    return false;
}

struct Listing {
    QList<platform::ListedFile> files;
    QString why;
    bool ok = false;
};

// One side's reports with their sketches, each folder listed once.
struct Side {
    QHash<QString, SideFiles> reports;
    QString stop;
};

Listing ListFolder(const QString& host) {
    Listing l;
    if (host.isEmpty()) {
        l.why = platform::ErrorDescription(platform::DeviceUnavailable);
    } else if (auto files = platform::ListFiles(host, 30000, &l.why)) {
        // In name order, so that of two names Windows takes for one
        // the same is the report (or the sketch) on every run.
        l.files = *files;
        std::sort(l.files.begin(), l.files.end(),
                  [](const auto& a, const auto& b) { return a.name < b.name; });
        l.ok = true;
    }
    return l;
}

// Every folder of both sides, each once, all at a time: the share answers
// one listing while the next is read and the laptop's are listed.
std::map<QString, Listing> ListAll(const Folders& f) {
    std::map<QString, std::future<Listing>> pending;
    for (const QString* windows : {&f.networkReports, &f.networkSketches, &f.networkApex,
                                   &f.localReports, &f.localSketches, &f.localApex}) {
        const QString host = f.host(*windows);
        if (ModCommon::Trim(*windows).isEmpty() || pending.count(host))
            continue;
        try {
            pending.emplace(host, std::async(std::launch::async, ListFolder, host));
        } catch (const std::system_error&) {
            pending.emplace(host, std::async(std::launch::deferred, ListFolder, host));
        }
    }
    std::map<QString, Listing> listings;
    for (auto& [host, listing] : pending)
        listings.emplace(host, listing.get());
    return listings;
}

Side ListSide(const Folders& f, bool network, std::map<QString, Listing>& listings) {
    const auto list = [&](const QString& windows) -> const Listing* {
        const QString host = f.host(windows);
        auto it = listings.find(host);
        if (it == listings.end())
            it = listings.emplace(host, ListFolder(host)).first;
        return &it->second;
    };
    const QString sideName = network ? QStringLiteral("share's") : QStringLiteral("laptop's");
    Side side;
    const QString reportsFolder = network ? f.networkReports : f.localReports;
    const Listing* reports = list(reportsFolder);
    if (!reports->ok) {
        side.stop = Texts::SyncSideUnlisted(sideName, reportsFolder, reports->why);
        return side;
    }
    for (const platform::ListedFile& file : reports->files) {
        const QString upper = ModCommon::UCase(file.name);
        if (!upper.endsWith(QStringLiteral(".RPT")) || file.name.startsWith(u'.'))
            continue;
        SideFiles& s = side.reports[CopyProcedure::ReportTargetName(file.name)];
        s.link = s.link || file.link;
        if (!s.report.isEmpty()) {
            s.twins << file.name;
            continue;
        }
        s.report = file.name;
        s.reportSize = file.size;
        s.reportMtimeMs = file.mtimeMs;
        s.seen.size = file.size;
        s.seen.mtimeMs = file.mtimeMs;
    }
    QHash<QString, QStringList> byStem;
    for (auto it = side.reports.cbegin(); it != side.reports.cend(); ++it)
        byStem[Stem(it.key())] << it.key();
    // Sketch folders that cannot be listed only mean no sketches there.
    for (const bool plandraw : {true, false}) {
        const QString folder = plandraw ? (network ? f.networkSketches : f.localSketches)
                                        : (network ? f.networkApex : f.localApex);
        if (ModCommon::Trim(folder).isEmpty())
            continue;
        const Listing* sketches = list(folder);
        for (const platform::ListedFile& file : sketches->files) {
            const QString upper = ModCommon::UCase(file.name);
            const qsizetype dot = upper.lastIndexOf(u'.');
            if (dot <= 0)
                continue;
            const QString stem = upper.left(dot);
            if (!IsSketch(upper, stem, plandraw))
                continue;
            for (const QString& key : byStem.value(stem)) {
                SideFiles& s = side.reports[key];
                if (s.sketches.contains(file.name))
                    continue; // the two sketch folders are one
                s.link = s.link || file.link;
                if (s.sketches.contains(file.name, Qt::CaseInsensitive)) {
                    s.twins << file.name;
                    continue;
                }
                s.sketches << file.name;
                s.seen.size += file.size;
                s.seen.mtimeMs = std::max(s.seen.mtimeMs, file.mtimeMs);
            }
        }
    }
    for (SideFiles& s : side.reports)
        s.sketches.sort(Qt::CaseInsensitive);
    return side;
}

int KnownOn(const QHash<QString, SeenReport>& record, bool network) {
    return int(std::count_if(record.begin(), record.end(), [network](const SeenReport& r) {
        return (network ? r.network : r.local).exists();
    }));
}

} // namespace

QString StateText(State s) {
    switch (s) {
    case State::Same: return QStringLiteral("the same");
    case State::OnlyLocal: return QStringLiteral("only on the laptop");
    case State::OnlyNetwork: return QStringLiteral("only on the share");
    case State::NewerLocal: return QStringLiteral("newer on the laptop");
    case State::NewerNetwork: return QStringLiteral("newer on the share");
    case State::Conflict: return QStringLiteral("changed on both since the last sync");
    case State::Unknown: return QStringLiteral("differs, not in the record of the last sync");
    case State::DeletedLocal: return QStringLiteral("deleted on the laptop since the last sync");
    case State::DeletedNetwork: return QStringLiteral("deleted on the share since the last sync");
    case State::Link: return QStringLiteral("a link, left alone");
    case State::CaseTwinsLocal:
        return QStringLiteral("two files differ only in case on the laptop");
    case State::CaseTwinsNetwork:
        return QStringLiteral("two files differ only in case on the share");
    }
    return {};
}

QString ActionText(Action a) {
    switch (a) {
    case Action::Nothing: return QStringLiteral("nothing");
    case Action::ToNetwork: return QStringLiteral("to the share");
    case Action::ToLocal: return QStringLiteral("to the laptop");
    case Action::KeepBoth: return QStringLiteral("keep both");
    case Action::TrashLocal: return QStringLiteral("to the trash on the laptop");
    case Action::TrashNetwork: return QStringLiteral("to the trash on the share");
    }
    return {};
}

QString RowName(const Row& row) {
    const SideFiles& side = row.local.twins.isEmpty() ? row.network : row.local;
    if (side.twins.isEmpty())
        return row.name;
    QStringList names{side.report};
    return (names + side.twins).join(QStringLiteral(", "));
}

QList<Action> ActionsFor(State s) {
    switch (s) {
    case State::Same:
    case State::Link:
    case State::CaseTwinsLocal:
    case State::CaseTwinsNetwork: return {Action::Nothing};
    case State::OnlyLocal: return {Action::ToNetwork, Action::Nothing, Action::TrashLocal};
    case State::OnlyNetwork: return {Action::ToLocal, Action::Nothing, Action::TrashNetwork};
    case State::DeletedLocal: return {Action::Nothing, Action::TrashNetwork, Action::ToLocal};
    case State::DeletedNetwork: return {Action::Nothing, Action::TrashLocal, Action::ToNetwork};
    default: return {Action::ToNetwork, Action::ToLocal, Action::KeepBoth, Action::Nothing};
    }
}

Action DefaultAction(State s) {
    switch (s) {
    case State::OnlyLocal:
    case State::NewerLocal: return Action::ToNetwork;
    case State::OnlyNetwork:
    case State::NewerNetwork: return Action::ToLocal;
    default: return Action::Nothing;
    }
}

bool Unchanged(const SeenVersion& now, const SeenVersion& seen,
               const std::function<QByteArray()>& nowHash) {
    if (now.exists() != seen.exists())
        return false;
    if (!now.exists())
        return true;
    if (now.size != seen.size)
        return false;
    if (SameTime(now.mtimeMs, seen.mtimeMs))
        return true;
    // Touched but perhaps not changed (a copy that kept no time, a save of
    // the same bytes): the content tells.
    if (seen.hash.isEmpty() || !nowHash)
        return false;
    const QByteArray h = nowHash();
    return !h.isEmpty() && h == seen.hash;
}

State Decide(const SeenVersion& local, const SeenVersion& network, bool known,
             const SeenReport& record, const HashOf& hashOf) {
    const auto hashLocal = [&] { return hashOf ? hashOf(false) : QByteArray(); };
    const auto hashNetwork = [&] { return hashOf ? hashOf(true) : QByteArray(); };
    const bool wasLocal = known && record.local.exists();
    const bool wasNetwork = known && record.network.exists();
    // A side left as recorded counts as such beside a changed other side
    // only when its content is known to be the recorded one.
    const auto confirmed = [&](const SeenVersion& recorded,
                               const std::function<QByteArray()>& now) {
        if (!hashOf || recorded.hash.isEmpty())
            return true; // times alone decide
        return now() == recorded.hash;
    };
    if (local.exists() && network.exists()) {
        if (local.size == network.size) {
            const auto untouched = [](const SeenVersion& now, const SeenVersion& seen) {
                return now.size == seen.size && SameTime(now.mtimeMs, seen.mtimeMs);
            };
            const bool agreed = wasLocal && wasNetwork && !record.local.hash.isEmpty() &&
                                record.local.hash == record.network.hash &&
                                untouched(local, record.local) &&
                                untouched(network, record.network);
            if (agreed)
                return State::Same;
            const QByteArray l = hashLocal(), n = l.isEmpty() ? QByteArray() : hashNetwork();
            if (l.isEmpty() || n.isEmpty() ? SameTime(local.mtimeMs, network.mtimeMs) : l == n)
                return State::Same;
        }
        if (!wasLocal || !wasNetwork)
            return State::Unknown;
        bool localChanged = !Unchanged(local, record.local, hashLocal);
        bool networkChanged = !Unchanged(network, record.network, hashNetwork);
        if (localChanged && !networkChanged)
            networkChanged = !confirmed(record.network, hashNetwork);
        else if (networkChanged && !localChanged)
            localChanged = !confirmed(record.local, hashLocal);
        if (localChanged && networkChanged)
            return State::Conflict;
        if (localChanged)
            return State::NewerLocal;
        if (networkChanged)
            return State::NewerNetwork;
        // Both as the last sync left them, which may differ: a sketch the
        // other side lacks stays where it is when a report moves.
        return State::Same;
    }
    // Gone from one side since the last sync, unchanged on the other: a
    // deletion to carry across only by choice. Changed on the other side
    // meanwhile, it is offered as new: nothing is lost.
    if (local.exists())
        return wasNetwork && Unchanged(local, record.local, hashLocal) &&
                       confirmed(record.local, hashLocal)
                   ? State::DeletedNetwork
                   : State::OnlyLocal;
    return wasLocal && Unchanged(network, record.network, hashNetwork) &&
                   confirmed(record.network, hashNetwork)
               ? State::DeletedLocal
               : State::OnlyNetwork;
}

QString KeptName(const QString& report, const QString& computer, const QDate& day,
                 const QStringList& taken) {
    QString name, ext;
    CopyProcedure::ReportNameParts(report, name, ext);
    QString who;
    for (const QChar c : ModCommon::UCase(computer))
        if (c.unicode() >= 32 && !QStringView(u"\\/:*?\"<>|").contains(c))
            who += c;
    who = who.trimmed();
    if (who.isEmpty())
        who = QStringLiteral("LAPTOP");
    const QString base = name + QStringLiteral(" (") + who + u' ' + day.toString(Qt::ISODate);
    const QString dotExt = ext.isEmpty() ? QString() : u'.' + ext;
    for (int n = 1;; ++n) {
        const QString candidate =
            base + (n == 1 ? QString() : u' ' + QString::number(n)) + u')' + dotExt;
        if (!taken.contains(candidate, Qt::CaseInsensitive))
            return candidate;
    }
}

QString KeptSketchName(const QString& sketchName, const QString& keptReport) {
    const qsizetype dot = sketchName.lastIndexOf(u'.');
    const qsizetype keptDot = keptReport.lastIndexOf(u'.');
    return (keptDot < 0 ? keptReport : keptReport.left(keptDot)) +
           (dot < 0 ? QString() : sketchName.mid(dot));
}

QString Folders::pairKey() const {
    return platform::WinePrefix() + u'\n' + ModCommon::UCase(localReports) + u'\n' +
           ModCommon::UCase(networkReports);
}

QString Folders::host(const QString& windowsFolder) const {
    if (hosts_)
        if (const auto it = hosts_->constFind(windowsFolder); it != hosts_->cend())
            return *it;
    return HostFolder(windowsFolder);
}

void Folders::resolveHosts() {
    auto hosts = std::make_shared<QHash<QString, QString>>();
    for (const QString* windows : {&localReports, &networkReports, &localSketches, &networkSketches,
                                   &localApex, &networkApex})
        if (!hosts->contains(*windows))
            hosts->insert(*windows, HostFolder(*windows));
    hosts_ = std::move(hosts);
}

Folders FoldersOf(Quarn_v2::SuiteState& s) {
    Folders f;
    f.localReports = CopyProcedure::LocalReportDir(s.LocalSet);
    f.networkReports = CopyProcedure::NetworkReportDir(s.NetworkSet);
    f.localSketches = s.LocalSet.QXSDATADIR;
    f.networkSketches = s.NetworkSet.QXSDATADIR;
    f.localApex = s.LocalSet.APEXDATADIR;
    f.networkApex = s.NetworkSet.APEXDATADIR;
    f.keepDays = CopyProcedure::KeepDays(s);
    f.suiteIni = s.SuiteIniPath;
    return f;
}

QString NotSetUp(const Quarn_v2::SuiteState& s) {
    for (const bool local : {true, false})
        if (ModCommon::Trim((local ? s.LocalSet : s.NetworkSet).QXADATADIR).isEmpty())
            return Texts::SyncNotSetUp(local ? QStringLiteral("LOCAL") : QStringLiteral("NETWORK"),
                                       s.SuiteIniPath);
    return {};
}

QString HostFolder(const QString& windowsFolder) {
    if (ModCommon::Trim(windowsFolder).isEmpty())
        return {};
    const auto host = platform::ToHostPath(windowsFolder);
    return host.ok() ? host.value : QString();
}

QStringList HostPaths(const Folders& folders, const SideFiles& side, bool network) {
    QStringList paths;
    if (side.report.isEmpty())
        return paths;
    const auto in = [&folders](const QString& windowsFolder, const QString& name) {
        const QString host = folders.host(windowsFolder);
        return host.isEmpty() ? QString() : host + u'/' + name;
    };
    paths << in(network ? folders.networkReports : folders.localReports, side.report);
    for (const QString& sketch : side.sketches) {
        const bool plandraw = sketch.endsWith(QStringLiteral(".sk3"), Qt::CaseInsensitive);
        paths << in(plandraw ? (network ? folders.networkSketches : folders.localSketches)
                             : (network ? folders.networkApex : folders.localApex),
                    sketch);
    }
    return paths;
}

namespace {

// Whether the device holding `path` is a share's, asked once per device.
bool OnShareDevice(dev_t device, const QString& path) {
    static std::mutex mutex;
    static std::map<dev_t, bool> known;
    {
        const std::lock_guard lock(mutex);
        if (const auto it = known.find(device); it != known.end())
            return it->second;
    }
    const bool share = platform::OnShare(QFileInfo(path).path());
    const std::lock_guard lock(mutex);
    return known.emplace(device, share).first->second;
}

// SHA-256 by OpenSSL's, which uses the processor's own instructions: a
// plan or a run hashes every byte it compares, and Qt's takes them one by one.
class Sha256 {
public:
    Sha256() : ctx_(EVP_MD_CTX_new()) {
        ok_ = ctx_ && EVP_DigestInit_ex(ctx_, EVP_sha256(), nullptr) == 1;
    }
    ~Sha256() { EVP_MD_CTX_free(ctx_); }
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    void add(const char* data, size_t size) {
        ok_ = ok_ && EVP_DigestUpdate(ctx_, data, size) == 1;
    }
    // Empty when it could not be made.
    QByteArray result() {
        unsigned char digest[EVP_MAX_MD_SIZE];
        unsigned size = 0;
        if (!ok_ || EVP_DigestFinal_ex(ctx_, digest, &size) != 1)
            return {};
        ok_ = false;
        return QByteArray(reinterpret_cast<const char*>(digest), int(size));
    }

private:
    EVP_MD_CTX* ctx_;
    bool ok_ = false;
};

// Feeds `hash` (and `own`, the file's own) with the file's bytes; false when
// it is not there (`absent` set), cannot be read, or is a link.
bool AddFile(Sha256& hash, const QString& hostPath, bool* absent = nullptr, Sha256* own = nullptr) {
    const int fd = ::open(QFile::encodeName(hostPath).constData(),
                          O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        if (absent)
            *absent = errno == ENOENT;
        return false;
    }
    const auto closeFd = qScopeGuard([fd] { ::close(fd); });
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    // What a share's client kept of an earlier read may not be the server's;
    // a local disk's cache is the disk's.
    if (OnShareDevice(st.st_dev, hostPath))
        (void)::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    char block[64 << 10];
    for (;;) {
        const ssize_t n = ::read(fd, block, sizeof block);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            return true;
        hash.add(block, size_t(n));
        if (own)
            own->add(block, size_t(n));
    }
}

} // namespace

QByteArray HashFiles(const QStringList& hostPaths, QList<QByteArray>* each) {
    Sha256 hash;
    for (const QString& path : hostPaths) {
        Sha256 own;
        if (path.isEmpty() || !AddFile(hash, path, nullptr, each ? &own : nullptr))
            return {};
        if (each)
            *each << own.result();
    }
    return hash.result();
}

std::optional<QByteArray> HashFile(const QString& hostPath) {
    Sha256 hash;
    bool absent = false;
    if (!AddFile(hash, hostPath, &absent))
        return absent ? std::optional<QByteArray>(QByteArray()) : std::nullopt;
    const QByteArray digest = hash.result();
    return digest.isEmpty() ? std::nullopt : std::optional(digest);
}

Plan Decide(const QHash<QString, SideFiles>& local, const QHash<QString, SideFiles>& network,
            const QHash<QString, SeenReport>& record, const Folders& folders,
            const ReportHashOf& hashOf) {
    Plan plan;
    for (const bool onNetwork : {false, true}) {
        const int known = KnownOn(record, onNetwork);
        if ((onNetwork ? network : local).isEmpty() && known >= kSafetyStopAt) {
            plan.stop = Texts::SyncSideEmpty(
                onNetwork ? QStringLiteral("share's") : QStringLiteral("laptop's"),
                onNetwork ? folders.networkReports : folders.localReports, known);
            return plan;
        }
    }
    QStringList names = local.keys() + network.keys();
    names.removeDuplicates();
    std::sort(names.begin(), names.end());
    for (const QString& name : names) {
        Row row;
        row.name = name;
        row.local = local.value(name);
        row.network = network.value(name);
        row.hasRecord = record.contains(name);
        row.record = record.value(name);
        std::optional<QByteArray> hashes[2];
        const HashOf hashOfSide = [&](bool onNetwork) {
            auto& h = hashes[onNetwork ? 1 : 0];
            if (!h)
                h = hashOf ? hashOf(name, onNetwork) : QByteArray();
            return *h;
        };
        if (row.local.link || row.network.link) {
            row.state = State::Link; // not even hashed: a link is never read through
        } else if (!row.local.twins.isEmpty() || !row.network.twins.isEmpty()) {
            row.state = row.local.twins.isEmpty() ? State::CaseTwinsNetwork : State::CaseTwinsLocal;
        } else {
            row.state = SyncPlan::Decide(row.local.seen, row.network.seen, row.hasRecord,
                                         row.record, hashOf ? hashOfSide : HashOf());
            // What was read now is what the run must find before it replaces.
            if (hashes[0])
                row.local.seen.hash = *hashes[0];
            if (hashes[1])
                row.network.seen.hash = *hashes[1];
        }
        row.action = DefaultAction(row.state);
        plan.rows << row;
    }
    return plan;
}

Plan Make(const Folders& given, platform::SyncRecord& record) {
    Folders folders = given;
    folders.resolveHosts();
    std::map<QString, Listing> listings = ListAll(folders);
    const Side local = ListSide(folders, false, listings);
    const Side network = ListSide(folders, true, listings);
    if (!local.stop.isEmpty() || !network.stop.isEmpty()) {
        Plan plan;
        plan.stop = local.stop.isEmpty() ? network.stop : local.stop;
        return plan;
    }
    const QHash<QString, SeenReport> seen = record.load();
    Plan plan = Decide(local.reports, network.reports, seen, folders,
                       [&](const QString& name, bool onNetwork) {
                           const auto& side = onNetwork ? network.reports : local.reports;
                           return HashFiles(HostPaths(folders, side.value(name), onNetwork));
                       });
    plan.recordProblem = record.problem();
    // A damaged record cannot tell an emptied side from a share not
    // mounted: the empty side is not filled without a second look.
    for (const bool onNetwork : {false, true}) {
        const auto& empty = onNetwork ? network.reports : local.reports;
        const auto& other = onNetwork ? local.reports : network.reports;
        if (!plan.recordProblem.isEmpty() && empty.isEmpty() && other.size() >= kSafetyStopAt) {
            plan.rows.clear();
            plan.stop = Texts::SyncSideEmptyUnknown(
                onNetwork ? QStringLiteral("share's") : QStringLiteral("laptop's"),
                onNetwork ? folders.networkReports : folders.localReports);
        }
    }
    return plan;
}

void OnlyTowards(Plan& plan, bool toNetwork) {
    for (Row& row : plan.rows) {
        // Keeping both writes both sides: not a one-way run's.
        const bool towardsNetwork =
            row.action == Action::ToNetwork || row.action == Action::TrashNetwork;
        const bool towardsLocal = row.action == Action::ToLocal || row.action == Action::TrashLocal;
        if (toNetwork ? !towardsNetwork : !towardsLocal)
            row.action = Action::Nothing;
    }
}

} // namespace SyncPlan
