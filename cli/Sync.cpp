#include "cli/Sync.h"

#include "cli/Quarnctl.h"
#include "config/ModCommon.h"
#include "office/ReportVersions.h"
#include "office/SyncRecord.h"
#include "office/Synchronize.h"
#include "office/Texts.h"
#include "suite/CopyProcedure.h"

#include <QCommandLineParser>
#include <QDateTime>

#include <algorithm>
#include <csignal>
#include <optional>
#include <unistd.h>

using SyncPlan::Action;
using SyncPlan::Row;
using SyncPlan::State;

namespace cli {
namespace {

bool IsConflict(const Row& row) {
    return row.state == State::Conflict || row.state == State::Unknown;
}

// "2026-12-07 10:42  48213", or "-" for a side without the report.
QString SideCell(const SyncPlan::SideFiles& side) {
    if (side.report.isEmpty())
        return QStringLiteral("-");
    return QDateTime::fromMSecsSinceEpoch(side.reportMtimeMs)
               .toString(QStringLiteral("yyyy-MM-dd HH:mm")) +
           QStringLiteral("  ") + QString::number(side.reportSize);
}

// Lines of cells in columns two spaces apart, the last left as it is.
QString Columns(const QList<QStringList>& lines) {
    QList<qsizetype> width(lines.front().size() - 1, 0);
    for (const QStringList& line : lines)
        for (qsizetype i = 0; i < width.size(); ++i)
            width[i] = std::max(width[i], line[i].size() + 2);
    QString text;
    for (const QStringList& line : lines) {
        for (qsizetype i = 0; i < width.size(); ++i)
            text += line[i].leftJustified(width[i]);
        text += line.back() + u'\n';
    }
    return text;
}

QString PlanTable(const SyncPlan::Plan& plan) {
    QList<QStringList> lines{{QStringLiteral("Report"), QStringLiteral("Laptop"),
                              QStringLiteral("Share"), QStringLiteral("State"),
                              QStringLiteral("Action")}};
    int same = 0;
    for (const Row& row : plan.rows) {
        if (row.state == State::Same) {
            ++same;
            continue;
        }
        lines << QStringList{SyncPlan::RowName(row), SideCell(row.local), SideCell(row.network),
                             SyncPlan::StateText(row.state), SyncPlan::ActionText(row.action)};
    }
    QString text = lines.size() > 1 ? Columns(lines) : QString();
    if (same > 0)
        text += (same == 1 ? QStringLiteral("1 report the same on both sides\n")
                           : QStringLiteral("%1 reports the same on both sides\n").arg(same));
    if (lines.size() == 1)
        text += Texts::SyncNothingToDo() + u'\n';
    return text;
}

// Ctrl-C or a stop ends the run between files and within one, rather than
// leaving a half-written lock on the share for the other laptops.
volatile std::sig_atomic_t gStopped = 0;

class StopOnSignal {
public:
    StopOnSignal() {
        gStopped = 0;
        struct sigaction stop {};
        stop.sa_handler = [](int) { gStopped = 1; };
        ::sigemptyset(&stop.sa_mask);
        ::sigaction(SIGINT, &stop, &int_);
        ::sigaction(SIGTERM, &stop, &term_);
    }
    ~StopOnSignal() {
        ::sigaction(SIGINT, &int_, nullptr);
        ::sigaction(SIGTERM, &term_, nullptr);
    }
    StopOnSignal(const StopOnSignal&) = delete;
    StopOnSignal& operator=(const StopOnSignal&) = delete;

private:
    struct sigaction int_ {
    }, term_{};
};

QString TimeLeft(qint64 ms) {
    if (ms < 0)
        return {};
    if (ms < 60000)
        return QStringLiteral(", %1 s left").arg((ms + 999) / 1000);
    return QStringLiteral(", %1 min left").arg((ms + 59999) / 60000);
}

// One line on the terminal, written over each time.
class ProgressLine {
public:
    bool show(const Synchronize::Progress& p) {
        const int percent =
            p.bytesTotal > 0 ? int(std::min<qint64>(100, p.bytesDone * 100 / p.bytesTotal)) : 0;
        const QString line = QStringLiteral("%1 (%2 of %3, %4%%5)")
                                 .arg(p.current)
                                 .arg(p.reportsDone + 1)
                                 .arg(p.reportsTotal)
                                 .arg(percent)
                                 .arg(TimeLeft(p.msLeft));
        write(line);
        return gStopped == 0;
    }
    ~ProgressLine() {
        if (width_ > 0)
            write({});
    }

private:
    void write(const QString& line) {
        std::fprintf(stderr, "\r%s\r%s", QString(width_, u' ').toUtf8().constData(),
                     line.toUtf8().constData());
        std::fflush(stderr);
        width_ = int(line.size());
    }
    int width_ = 0;
};

// A version's name holds blanks and brackets: quoted for the shell.
QString Quoted(const QString& text) {
    return u'\'' + QString(text).replace(QStringLiteral("'"), QStringLiteral("'\\''")) + u'\'';
}

int ListVersions(const SyncPlan::Folders& folders, const QString& report, QTextStream& out,
                 QTextStream& err) {
    const ReportVersions::Listing listing = ReportVersions::List(folders, report);
    QList<QStringList> lines{{QStringLiteral("Side"), QStringLiteral("Kept"),
                              QStringLiteral("Computer"), QStringLiteral("Size"),
                              QStringLiteral("Version")}};
    for (const ReportVersions::Version& v : listing.versions) {
        const platform::KeptVersion& first = v.files.front();
        lines << QStringList{v.network ? QStringLiteral("share") : QStringLiteral("laptop"),
                             first.keptAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
                             first.computer, QString::number(first.size), Quoted(v.argument())};
    }
    if (lines.size() > 1) {
        out << Columns(lines);
    } else {
        out << "No kept versions\n";
    }
    for (const QString& problem : listing.problems)
        err << "quarnctl: not listed: " << problem << "\n";
    return listing.problems.isEmpty() ? 0 : 1;
}

int Restore(const SyncPlan::Folders& folders, const QString& version, QTextStream& out,
            QTextStream& err) {
    const ReportVersions::Restored done = ReportVersions::Restore(folders, version);
    for (const QString& file : done.files)
        out << "Put back: " << CopyProcedure::ReportPathFor(file) << "\n";
    if (done.declined)
        err << "quarnctl: nothing was put back\n";
    else if (!done.why.isEmpty())
        err << "quarnctl: " << done.why << "\n";
    return done.declined || !done.why.isEmpty() ? 1 : 0;
}

// The runs, the newest first, each with what it moved, left and failed.
int History(const SyncPlan::Folders& folders, const QString& count, QTextStream& out,
            QTextStream& err) {
    bool number = count.isEmpty();
    const int newest = count.isEmpty() ? 20 : count.toInt(&number);
    if (!number || newest < 1)
        return 2;
    platform::SyncRecord record(folders.pairKey());
    const QList<platform::SyncRun> runs = record.runs(newest);
    if (!record.problem().isEmpty()) {
        err << "quarnctl: " << record.problem() << "\n";
        return 1;
    }
    if (runs.isEmpty())
        out << "No synchronization yet\n";
    const QDateTime now = QDateTime::currentDateTime();
    for (const platform::SyncRun& run : runs) {
        out << QDateTime::fromMSecsSinceEpoch(run.endedMs)
                   .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
            << "  " << run.computer << "  " << Synchronize::ByText(run.by) << ": "
            << Synchronize::RunText(run, now).section(QStringLiteral(", "), 1);
        if (run.times > 1)
            out << " (" << run.times << " runs alike since "
                << QDateTime::fromMSecsSinceEpoch(run.startedMs)
                       .toString(QStringLiteral("yyyy-MM-dd HH:mm"))
                << ")";
        out << "\n";
        const std::pair<const char*, const QStringList*> lists[] = {
            {"sent", &run.sent},          {"brought", &run.brought},
            {"kept both", &run.keptBoth}, {"to the trash", &run.trashed},
            {"waiting", &run.waiting},    {"failed", &run.failed}};
        for (const auto& [what, names] : lists)
            if (!names->isEmpty())
                out << "  " << what << ": " << names->join(QStringLiteral(", ")) << "\n";
    }
    return 0;
}

} // namespace

Action AskConflict(const Row& row, FILE* in, FILE* out) {
    for (;;) {
        std::fprintf(out, "%s: %s. Keep the laptop's (l), the share's (s), both (b), or skip (k)? ",
                     qUtf8Printable(row.name), qUtf8Printable(SyncPlan::StateText(row.state)));
        std::fflush(out);
        char line[256];
        if (!std::fgets(line, sizeof line, in)) {
            std::fprintf(out, "k\n");
            return Action::Nothing;
        }
        const QString reply = QString::fromUtf8(line).trimmed().toLower();
        if (reply == u"l")
            return Action::ToNetwork;
        if (reply == u"s")
            return Action::ToLocal;
        if (reply == u"b")
            return Action::KeepBoth;
        if (reply == u"k")
            return Action::Nothing;
    }
}

int Sync(const QStringList& args, QTextStream& out, QTextStream& err) {
    QCommandLineParser p;
    for (const char* flag :
         {"dry-run", "to-network", "to-local", "versions", "history", "yes", "no"})
        p.addOption(QCommandLineOption(QString::fromLatin1(flag)));
    p.addOption({QStringLiteral("conflicts"), QString(), QStringLiteral("how")});
    p.addOption({QStringLiteral("restore"), QString(), QStringLiteral("version")});
    // "sync" stands where the parser expects the program's name.
    if (!p.parse(args))
        return 2;
    const bool versions = p.isSet(QStringLiteral("versions"));
    const bool history = p.isSet(QStringLiteral("history"));
    const QStringList restore = p.values(QStringLiteral("restore"));
    const QStringList syncOnly = {QStringLiteral("dry-run"), QStringLiteral("to-network"),
                                  QStringLiteral("to-local"), QStringLiteral("conflicts")};
    if (versions || history || !restore.isEmpty()) {
        // One look or one restore, and nothing of a run.
        if (int(versions) + int(history) + int(!restore.isEmpty()) > 1 || restore.size() > 1 ||
            p.positionalArguments().size() > (versions || history ? 1 : 0) ||
            (history && (p.isSet(QStringLiteral("yes")) || p.isSet(QStringLiteral("no")))) ||
            std::any_of(syncOnly.begin(), syncOnly.end(),
                        [&p](const QString& o) { return p.isSet(o); }))
            return 2;
    } else if (!p.positionalArguments().isEmpty() || p.isSet(QStringLiteral("yes")) ||
               p.isSet(QStringLiteral("no"))) {
        return 2;
    }
    std::optional<bool> toNetwork;
    for (const QString& name : p.optionNames()) // of two contrary flags, the last wins
        if (name.startsWith(u"to-"))
            toNetwork = name == u"to-network";
    QString conflicts = QStringLiteral("ask");
    for (const QString& how : p.values(QStringLiteral("conflicts"))) {
        if (how != u"ask" && how != u"keep-both" && how != u"skip")
            return 2;
        conflicts = how;
    }
    const bool dryRun = p.isSet(QStringLiteral("dry-run"));
    // Breaking another's stale lock is asked on a terminal, else refused;
    // a restore over a newer file takes --yes or --no.
    const FlagAnswers answers(restore.isEmpty() ? QStringList() : p.optionNames());

    Quarn_v2::SuiteState s;
    Quarn_v2::InitialiseSuite(s);
    if (const QString why = SyncPlan::NotSetUp(s); !why.isEmpty()) {
        err << "quarnctl: " << why << "\n";
        return 1;
    }
    const SyncPlan::Folders folders = SyncPlan::FoldersOf(s);
    if (versions)
        return ListVersions(folders, p.positionalArguments().value(0), out, err);
    if (history)
        return History(folders, p.positionalArguments().value(0), out, err);
    if (!restore.isEmpty())
        return Restore(folders, restore.front(), out, err);
    const qint64 started = QDateTime::currentMSecsSinceEpoch();
    platform::SyncRecord record(folders.pairKey());
    SyncPlan::Plan plan = SyncPlan::Make(folders, record);
    if (!plan.stop.isEmpty()) {
        err << "quarnctl: " << plan.stop << "\n";
        if (!dryRun) {
            Synchronize::Summary stopped;
            stopped.failed << Synchronize::Failure{QString(), plan.stop};
            record.addRun(
                Synchronize::Entry(stopped, {}, platform::SyncRun::By::Quarnctl, started));
        }
        return 1;
    }
    if (!plan.recordProblem.isEmpty())
        err << "quarnctl: " << Texts::SyncRecordUnreadable(plan.recordProblem) << "\n";
    if (toNetwork)
        SyncPlan::OnlyTowards(plan, *toNetwork);
    if (conflicts == u"keep-both")
        for (Row& row : plan.rows)
            if (IsConflict(row))
                row.action = Action::KeepBoth;

    out << PlanTable(plan);
    if (dryRun) {
        // Nothing moves; what was found alike, contents compared, is noted
        // so that the next plan need not read it again.
        Synchronize::RememberAgreed(plan.rows, record);
        return 0;
    }
    out.flush();
    err.flush();
    // Asked after the table, which shows both sides' dates and sizes.
    if (conflicts == u"ask" && ::isatty(STDIN_FILENO))
        for (Row& row : plan.rows)
            if (IsConflict(row) && row.action == Action::Nothing)
                row.action = AskConflict(row, stdin, stderr);
    // A one-way run writes one side only, whatever a conflict was answered.
    if (toNetwork)
        SyncPlan::OnlyTowards(plan, *toNetwork);
    QStringList skipped;
    bool work = false;
    for (const Row& row : plan.rows) {
        if (IsConflict(row) && row.action == Action::Nothing)
            skipped << row.name;
        work |= row.action != Action::Nothing;
    }
    const auto leftAlone = [&] {
        if (!skipped.isEmpty())
            err << "quarnctl: conflicts left as they are: " << skipped.join(QStringLiteral(", "))
                << "\n";
        return skipped.isEmpty();
    };
    if (!work) {
        Synchronize::RememberAgreed(plan.rows, record);
        record.addRun(Synchronize::Entry({}, plan.rows, platform::SyncRun::By::Quarnctl, started));
        return leftAlone() ? 0 : 1;
    }

    Synchronize::Summary summary;
    {
        const StopOnSignal stop;
        std::optional<ProgressLine> line;
        if (::isatty(STDERR_FILENO))
            line.emplace();
        Synchronize::Hooks hooks;
        hooks.progress = [&line](const Synchronize::Progress& p) {
            return line ? line->show(p) : gStopped == 0;
        };
        summary = Synchronize::Run(folders, plan.rows, record, hooks);
    }
    out << Synchronize::SummaryText(summary);
    record.addRun(Synchronize::Entry(summary, plan.rows, platform::SyncRun::By::Quarnctl, started));
    if (!record.problem().isEmpty() && record.problem() != plan.recordProblem)
        err << "quarnctl: the record of this synchronization could not be written ("
            << record.problem() << ")\n";
    const bool noneSkipped = leftAlone();
    if (!summary.allAsPlanned())
        err << "quarnctl: not every report was synchronized as planned\n";
    return summary.allAsPlanned() && noneSkipped ? 0 : 1;
}

} // namespace cli
