#include "cli/Quarnctl.h"
#include "suite/Texts.h"

#include "suite/DirectoryEntries.h"

#include "cli/DemoSuite.h"
#include "cli/Follow.h"
#include "cli/Share.h"
#include "cli/Sync.h"
#include "config/ModCommon.h"
#include "config/WPINI.h"
#include "platform/Prompter.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"
#include "suite/CopyProcedure.h"
#include "suite/DirectoryCheck.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>

#include <algorithm>
#include <cstdio>
#include <optional>
#include <unistd.h>

using namespace Quarn_v2;

namespace cli {
namespace {

const char* const kUsage =
    "Usage: quarnctl [--prefix DIR] COMMAND\n"
    "\n"
    "Switches the appraisal suite's data directories between the LOCAL and\n"
    "NETWORK sets kept in QUARN2.INI, as Quarn's Connect buttons do.\n"
    "The suite's Wine prefix is --prefix's, else $WINEPREFIX, else the one\n"
    "chosen in Quarn, else the one prefix found that holds the suite.\n"
    "\n"
    "Commands:\n"
    "  status                      the INI files, the three directory sets and\n"
    "                              which set is in force\n"
    "  prefixes                    where prefixes were looked for, those that\n"
    "                              hold the suite, and the one in use\n"
    "  connect local|network       write that set into the products' INI files\n"
    "  follow [--once] [--settle SECONDS] [--no-sync]\n"
    "                              switch to NETWORK while the office share (the\n"
    "                              drive of [NETWORK]'s QXADATADIR) answers and to\n"
    "                              LOCAL while it does not, once it has stayed so\n"
    "                              SECONDS (10); never during a transfer nor against\n"
    "                              a switch by hand. When the share comes back, and\n"
    "                              every [SYNC] Every minutes (30; 0: only then)\n"
    "                              while it stays, synchronize the reports that\n"
    "                              need no choice; conflicts and deletions wait.\n"
    "                              --no-sync or [SYNC] Automatic=0: no sync.\n"
    "                              --once: one look, no waiting\n"
    "  check                       the Settings dialog's directory check: \"ok\", or\n"
    "                              the first field that fails\n"
    "  transfer --to-network|--to-local [--sketch none|plandraw|apex] [--yes|--no] REPORT\n"
    "                              copy a report with its sketch to the other side;\n"
    "                              questions take the flag's answer, else the\n"
    "                              terminal's (No without a terminal)\n"
    "  sync [--dry-run] [--to-network|--to-local] [--conflicts ask|keep-both|skip]\n"
    "                              bring the laptop's and the share's report\n"
    "                              folders level: each report with its sketches\n"
    "                              goes to where it is older or missing, by the\n"
    "                              record of the last sync; reports changed on\n"
    "                              both sides are asked about on a terminal (else\n"
    "                              skipped), kept both or skipped; --dry-run\n"
    "                              only shows the plan. A report or sketch that a\n"
    "                              sync or transfer replaces or deletes is kept\n"
    "                              first in .quarn-versions beside it, for\n"
    "                              [SYNC] KeepVersionsDays in QUARN2.INI (30; 0\n"
    "                              keeps none)\n"
    "  sync --history [N]          the last N runs (20), the newest first: when,\n"
    "                              where, started by whom, what moved, what waits\n"
    "                              and what failed\n"
    "  sync --versions [REPORT]    the kept versions on both sides, with the\n"
    "                              VERSION each is put back by\n"
    "  sync --restore VERSION [--yes|--no]\n"
    "                              put a kept version back with its sketches, the\n"
    "                              current files kept first; over a newer file\n"
    "                              only after a Yes\n"
    "  ini get FILE SECTION KEY [DEFAULT]\n"
    "                              print a value (the default when absent)\n"
    "  ini set FILE SECTION KEY VALUE\n"
    "                              write a value\n"
    "  ini delete-section FILE SECTION\n"
    "                              remove a section with all its keys\n"
    "  share status                the office share's state: \"Connected: \\\\server\\share\n"
    "                              as N:\" or \"Not connected\"\n"
    "  share connect [SHARE] [--user USER] [--domain DOMAIN] [--drive N:]\n"
    "                [--remember] [--password-stdin] [--yes|--no]\n"
    "                              mount the office share (\\\\server\\share or\n"
    "                              smb://server/share; else the one remembered)\n"
    "                              through GVfs and make it the drive and the UNC\n"
    "                              name in the prefix; the password is the\n"
    "                              keyring's, else asked on the terminal, or read\n"
    "                              from standard input; --remember keeps it in the\n"
    "                              keyring\n"
    "  share disconnect [--yes|--no]\n"
    "                              take the share out of the prefix (switching the\n"
    "                              suite to LOCAL first, asked) and unmount it if\n"
    "                              Quarn mounted it\n"
    "  demo-suite DIR              build a demo prefix in DIR (what exists stays)\n"
    "  --help, --version\n"
    "\n"
    "FILE is a Windows path (C:\\VALUATOR\\QUARN2.INI, or a bare name for the\n"
    "Windows directory) or a host path starting with \"/\".\n"
    "Exit status: 0 done, 1 failed, 2 usage error.\n";

platform::PrefixChoice gChoice;

// "Bottles: Office", or a plain folder's "Folder".
QString Named(const platform::PrefixPlace& p) {
    return p.manager == platform::Manager::Folder || p.manager == platform::Manager::Wine
               ? platform::ManagerName(p.manager)
               : platform::ManagerName(p.manager) + QStringLiteral(": ") + p.name;
}

int Prefixes(QTextStream& out) {
    const platform::PrefixSearch s = gChoice.search.searched.isEmpty()
                                         ? platform::SearchPrefixes(QDir::homePath())
                                         : gChoice.search;
    out << "Searched\n";
    for (const QString& place : s.searched)
        out << "  " << place << "\n";
    if (s.timedOut)
        out << "  (a place did not answer within five seconds)\n";
    out << "\nSuites found\n";
    for (const platform::PrefixPlace& p : s.found)
        out << "  " << Named(p).leftJustified(28) << "  " << p.folder << "\n";
    if (s.found.isEmpty())
        out << "  none\n";
    if (gChoice.source == platform::PrefixSource::Several)
        out << "\nIn use        none: choose one with --prefix DIR, or in Quarn\n";
    else
        out << "\nIn use        " << gChoice.place.folder << "  (" << Named(gChoice.place) << "; "
            << platform::SourceText(gChoice.source) << ")\n";
    return 0;
}

// The ten product keys as a switch writes them, with what they hold now.
struct ProductKey {
    QString file, key, value;
};

QList<ProductKey> ProductKeys(const SuiteState& s) {
    QList<ProductKey> keys;
    for (const SuiteWrite& w : SuiteDirectoryKeys(s))
        keys << ProductKey{w.file, w.key,
                           WPINI::ReadIni(w.file, QStringLiteral("Directories"), w.key, QString())};
    return keys;
}

QString FileName(const QString& windowsPath) {
    return windowsPath.mid(windowsPath.lastIndexOf(u'\\') + 1);
}

// The path leads to a file, of any length, hidden or not: status shows an
// empty INI file as there. Never asks.
bool LeadsToFile(const QString& windowsPath) {
    const auto host = platform::ToHostPath(windowsPath);
    return host.ok() && QFileInfo(host.value).isFile();
}

QString Column(const QString& text, int width) {
    return text.isEmpty() ? QStringLiteral("-").leftJustified(width) : text.leftJustified(width);
}

int Status(QTextStream& out) {
    // As start-up sees it, without writing the marker: a look changes nothing.
    // Where start-up would write the marker, it is the file Quarn will use.
    SuiteState s;
    LocateWindowsAndSuiteFolder(s);
    LocateSuiteFiles(s);
    const QString marker = s.WindowsDrive + QStringLiteral("\\Valuator\\QUARN2.INI");
    const bool markerToCome = s.SuiteIniPath != marker && ModCommon::PathExists(s.SuiteFolder);
    if (markerToCome)
        s.SuiteIniPath = marker;
    ReadDirectorySets(s);
    out << "Wine prefix   " << platform::WinePrefix() << "  (" << Named(gChoice.place) << "; "
        << platform::SourceText(gChoice.source) << ")\n";
    out << "QUARN2.INI    " << s.SuiteIniPath
        << (markerToCome                  ? "  (empty: Quarn writes it at start-up)"
            : LeadsToFile(s.SuiteIniPath) ? ""
                                          : "  (missing)")
        << "\n\nProduct INI files\n";
    const auto paths = ProductPathList(s.ProductIniPaths);
    for (size_t i = 0; i < paths.size(); ++i)
        out << "  " << ProductFileNames[i].leftJustified(14) << paths[i]
            << (LeadsToFile(paths[i]) ? "" : "  (missing)") << "\n";

    // Every column holds its heading and a gap, even when its values are short.
    int width = 9;
    for (int i = 0; i < kSetSize; ++i)
        for (const DirectorySet* set : {&s.CurrentSet, &s.LocalSet, &s.NetworkSet})
            width = std::max(width, int((*set)[i].size()) + 2);
    out << "\n"
        << QStringLiteral("Directory").leftJustified(14)
        << QStringLiteral("Current").leftJustified(width)
        << QStringLiteral("LOCAL").leftJustified(width) << "NETWORK\n";
    for (int i = 0; i < kSetSize; ++i)
        out << QString::fromLatin1(DirectoryEntries[i].key).leftJustified(14)
            << Column(s.CurrentSet[i], width) << Column(s.LocalSet[i], width)
            << (s.NetworkSet[i].isEmpty() ? QStringLiteral("-") : s.NetworkSet[i]) << "\n";
    out << "\nIn force: " << InForceName(SetInForce(s)) << "\n";
    return 0;
}

// The Settings dialog's check, on the values it loads.
int Check(QTextStream& out, QTextStream& err) {
    const SuiteState s = LookAtSuite(); // like status: no marker is written
    const QList<DirectoryCheck::Entry> entries = DirectoryCheck::StoredEntries(s);
    const qsizetype missing = DirectoryCheck::FirstMissing(entries);
    if (missing < 0) {
        out << "ok\n";
        return 0;
    }
    err << "quarnctl: " << entries[missing].field << " \"" << entries[missing].path
        << "\": " << Texts::NoSuchDirectory() << "\n";
    return 1;
}

int Transfer(const QStringList& a, QTextStream& out, QTextStream& err) {
    QCommandLineParser p;
    for (const char* flag : {"to-network", "to-local", "yes", "no"})
        p.addOption(QCommandLineOption(QString::fromLatin1(flag)));
    p.addOption({QStringLiteral("sketch"), QString(), QStringLiteral("kind")});
    // The command's name stands where the parser expects the program's.
    const QString report = p.parse(a) ? p.positionalArguments().value(0) : QString();
    if (report.isEmpty() || p.positionalArguments().size() != 1)
        return 2;
    std::optional<CopyProcedure::Direction> direction;
    auto sketch = CopyProcedure::Sketch::None;
    for (const QString& name : p.optionNames()) // of two contrary flags, the last wins
        if (name.startsWith(u"to-"))
            direction = name == u"to-local" ? CopyProcedure::Direction::NetworkToLocal
                                            : CopyProcedure::Direction::LocalToNetwork;
    using Sketch = CopyProcedure::Sketch;
    for (const QString& s : p.values(QStringLiteral("sketch"))) {
        if (s != u"none" && s != u"plandraw" && s != u"apex")
            return 2;
        sketch = s == u"none"       ? Sketch::None
                 : s == u"plandraw" ? Sketch::Plandraw32
                                    : Sketch::ApexMedina;
    }
    if (!direction)
        return 2;
    const FlagAnswers answers(p.optionNames());

    SuiteState s;
    InitialiseSuite(s);
    // The Settings dialog's check on the values it would load: its one
    // message, on the terminal.
    const auto check = [&s] {
        if (DirectoryCheck::FirstMissing(DirectoryCheck::StoredEntries(s)) < 0)
            return true;
        platform::MsgBox(Texts::NoSuchDirectory());
        return false;
    };
    const CopyProcedure::Inputs in{*direction, report,
                                   direction == CopyProcedure::Direction::LocalToNetwork
                                       ? CopyProcedure::NetworkReportDir(s.NetworkSet)
                                       : CopyProcedure::LocalReportDir(s.LocalSet),
                                   sketch, CopyProcedure::KeepDays(s)};
    const auto done = CopyProcedure::Run(in, check, s.LocalSet, s.NetworkSet);
    if (!done.checked)
        err << "quarnctl: the directory check failed; nothing was copied\n";
    else if (!done.errorReported)
        out << (done.copied ? "copied\n" : "nothing copied\n");
    // A report that is not there is a copy that did not succeed.
    return done.checked && !done.errorReported && !done.reportMissing ? 0 : 1;
}

int Ini(const QStringList& a, QTextStream& out, QTextStream& err) {
    const QString verb = a.value(0);
    platform::profile::Outcome done;
    if (verb == u"get" && (a.size() == 4 || a.size() == 5)) {
        out << WPINI::ReadIni(a[1], a[2], a[3], a.value(4)) << "\n";
        return 0;
    }
    if (verb == u"set" && a.size() == 5)
        done = WPINI::TryWriteIni(a[1], a[2], a[3], a[4]);
    else if (verb == u"delete-section" && a.size() == 3)
        done = WPINI::TryDeleteIniSection(a[1], a[2]);
    else
        return 2;
    if (!done)
        err << "quarnctl: " << a[1] << " was not changed: " << done.why << "\n";
    return done ? 0 : 1;
}

} // namespace

int ConnectSet(const QString& which, QTextStream& out, QTextStream& err) {
    SwitchTurn turn; // from the read of the products' values to the last write
    if (!turn.take()) {
        err << "quarnctl: " << turn.why() << "\n";
        return 1;
    }
    SuiteState s;
    InitialiseSuite(s);
    const bool local = which == u"local";
    const QString name = local ? QStringLiteral("LOCAL") : QStringLiteral("NETWORK");
    DirectorySet set = ReadStoredSet(s, name);
    set.APEXDATADIR.clear(); // never written
    if (set == DirectorySet{}) {
        // Nothing to switch to: say so rather than report a switch that was not.
        err << "quarnctl: [" << name << "] is not set up in " << s.SuiteIniPath
            << "; the products were left as they were\n";
        return 1;
    }

    const QList<ProductKey> before = ProductKeys(s);
    const QList<SuiteFailure> failures = local ? SwitchToLocal(s) : SwitchToNetwork(s);
    for (const SuiteFailure& f : failures)
        err << "quarnctl: " << f.write.file << " [Directories] " << f.write.key
            << " was not written: " << f.why << "\n";
    const QList<ProductKey> after = ProductKeys(s);
    int changed = 0;
    for (qsizetype i = 0; i < after.size(); ++i) {
        if (after[i].value == before[i].value)
            continue;
        out << FileName(after[i].file).leftJustified(14) << after[i].key.leftJustified(10)
            << (before[i].value.isEmpty() ? QStringLiteral("(none)") : before[i].value) << " -> "
            << after[i].value << "\n";
        ++changed;
    }
    for (int i = 0; i < kSetSize; ++i)
        if (set[i].isEmpty() && DirectoryEntries[i].staged)
            out << "[" << name << "] " << DirectoryEntries[i].key
                << " is empty: its product keeps its directory\n";
    if (!failures.isEmpty())
        return 1;
    if (changed == 0)
        out << "Nothing changed: the products already hold the " << name << " set.\n";
    else
        out << "The products now use the " << name << " set.\n";
    return 0;
}

FlagAnswers::FlagAnswers(const QStringList& optionNames) {
    std::optional<platform::Answer> answer;
    for (const QString& name : optionNames) // of the two, the last wins
        if (name == u"yes" || name == u"no")
            answer = name == u"yes" ? platform::Answer::Yes : platform::Answer::No;
    // No terminal to ask and no flag to tell: the answer is No.
    if (!answer && !::isatty(STDIN_FILENO))
        answer = platform::Answer::No;
    if (answer) {
        fixed_.emplace(*answer);
        use_.emplace(*fixed_);
    }
}

platform::Answer FixedPrompter::ask(const platform::Message& m) {
    const QList<platform::Answer> set = platform::ButtonAnswers(m.buttons);
    const platform::Answer a = set.contains(answer_) ? answer_ : platform::EscapeAnswer(m.buttons);
    std::fprintf(
        stderr, "\n== %s ==\n%s\n[%s]\n", qUtf8Printable(m.title),
        qUtf8Printable(QString(m.text).replace(QStringLiteral("\r\n"), QStringLiteral("\n"))),
        qUtf8Printable(platform::AnswerText(a)));
    return a;
}

int Quarnctl(const QStringList& args, QTextStream& out, QTextStream& err) {
    QCommandLineParser p;
    const QCommandLineOption prefix(QStringLiteral("prefix"), QString(), QStringLiteral("DIR"));
    p.addOptions({QCommandLineOption(QStringList{QStringLiteral("h"), QStringLiteral("help")}),
                  QCommandLineOption(QStringLiteral("version")), prefix});
    // What follows the command is the command's own, "-1" as a value included.
    p.setOptionsAfterPositionalArgumentsMode(QCommandLineParser::ParseAsPositionalArguments);
    const bool parsed = p.parse(QStringList{QStringLiteral("quarnctl")} + args);
    const QStringList a = p.positionalArguments();
    const QString command = parsed ? a.value(0) : QString();
    // --help and --version win wherever they stand, but among an ini
    // command's names and values (those after its verb).
    const qsizetype end =
        command == u"ini" ? std::min(args.size(), args.size() - a.size() + 2) : args.size();
    for (qsizetype i = 0; i < end; ++i) {
        if (args[i] == u"--version") {
            out << QStringLiteral("quarnctl " QUARN_VERSION "\n");
            return 0;
        }
        if (args[i] == u"--help" || args[i] == u"-h") {
            out << kUsage;
            return 0;
        }
    }
    // An empty prefix would be taken for none given, and another suite switched.
    if (parsed && p.values(prefix).contains(QString())) {
        err << "quarnctl: --prefix needs a folder\n\n" << kUsage;
        return 2;
    }
    if (parsed && !command.isEmpty() && command != u"demo-suite") {
        gChoice = platform::ChoosePrefix(p.value(prefix), QDir::homePath());
        platform::UsePrefix(gChoice.place);
        // A script must not land on one suite of several by chance.
        if (gChoice.source == platform::PrefixSource::Several && command != u"prefixes") {
            err << "quarnctl: several Wine prefixes hold the suite; choose one with --prefix DIR, "
                   "or in Quarn (Setup > Wine Prefix...)\n";
            for (const platform::PrefixPlace& place : gChoice.search.found)
                err << "  " << place.folder << "\n";
            return 1;
        }
    }
    int status = 2;
    if (command == u"prefixes" && a.size() == 1)
        status = Prefixes(out);
    else if (command == u"status" && a.size() == 1)
        status = Status(out);
    else if (command == u"connect" && a.size() == 2 && (a[1] == u"local" || a[1] == u"network"))
        status = ConnectSet(a[1], out, err);
    else if (command == u"transfer")
        status = Transfer(a, out, err);
    else if (command == u"sync")
        status = Sync(a, out, err);
    else if (command == u"share")
        status = Share(a, out, err);
    else if (command == u"follow")
        status = Follow(a, out, err);
    else if (command == u"check" && a.size() == 1)
        status = Check(out, err);
    else if (command == u"ini")
        status = Ini(a.mid(1), out, err);
    else if (command == u"demo-suite" && a.size() == 2) {
        const QString why = BuildDemoSuite(a[1]);
        if (!why.isEmpty())
            err << "quarnctl: " << why << "\n";
        else
            out << "Demo suite ready: WINEPREFIX=" << QFileInfo(a[1]).absoluteFilePath() << "\n";
        status = why.isEmpty() ? 0 : 1;
    }
    if (status == 2)
        err << (parsed && command.isEmpty()
                    ? QStringLiteral("quarnctl: no command given")
                    : QStringLiteral("quarnctl: cannot understand: ") + args.join(u' '))
            << "\n\n"
            << kUsage;
    return status;
}

} // namespace cli
