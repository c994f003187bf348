#include "CopyProcedure.h"

#include "AtomicFile.h"
#include "HostError.h"
#include "ModCommon.h"
#include "Prompter.h"
#include "WinPath.h"

#include <QFileInfo>

using ModCommon::Trim;
using platform::Answer;
using platform::Buttons;
using platform::MsgBox;
using platform::RuntimeError;

namespace CopyProcedure {
namespace {

QString Overwrite(const QString& target) {
    return QStringLiteral("File ") + target +
           QStringLiteral(" Exists.  Are you sure you wish to Overwrite?");
}

bool Ask(const QString& text) {
    return MsgBox(text, Buttons::YesNo) == Answer::Yes;
}

// Copies a Windows path onto another: false when the user cancelled (that
// counts as not copied); a failure is raised for the error report.
bool Copy(const QString& source, const QString& target, const Progress& progress) {
    const auto from = platform::ToHostPath(source);
    if (!from.ok())
        throw RuntimeError(from.error);
    const auto to = platform::ToHostPath(target);
    if (!to.ok())
        throw RuntimeError(to.error);
    const int err =
        platform::CopyFileAtomically(from.value, to.value, [&](qint64 done, qint64 total) {
            return !progress || progress(target, done, total);
        });
    if (err == platform::Cancelled)
        return false;
    if (err != 0)
        throw RuntimeError(err);
    return true;
}

// A plain, visible file, of any length: how the report is looked for.
bool ListedAsFile(const QString& path) {
    const auto host = platform::ToHostPath(path);
    if (!host.ok())
        return false;
    const QFileInfo fi(host.value);
    return fi.isFile() && !fi.fileName().startsWith(u'.');
}

bool Exists(const QString& path) {
    return ModCommon::FileExists(path); // may raise: the error report takes it
}

} // namespace

void ReportNameParts(const QString& report, QString& name, QString& ext) {
    QString path = ModCommon::Trim(report);
    const qsizetype slash = std::max(path.lastIndexOf(u'\\'), path.lastIndexOf(u'/'));
    QString drive, dir;
    ModCommon::ParseFileName(path.mid(slash + 1), drive, dir, name, ext);
}

QString SketchExtension(int option) {
    switch (option) {
    case 2: return QStringLiteral(".AXF");
    case 3: return QStringLiteral(".AX2");
    case 4:
    case 5: return QStringLiteral(".AX4");
    default: return {};
    }
}

QString NetworkReportDir(Quarn_v2::DirectorySet& network) {
    QString dir = ModCommon::CkRSlash(network.QXADATADIR) + QStringLiteral("data");
    if (dir.endsWith(QStringLiteral("\\data\\data")))
        dir.truncate(dir.indexOf(QStringLiteral("\\data\\data")) + 1);
    return dir;
}

QString LocalReportDir(Quarn_v2::DirectorySet& local) {
    return ModCommon::CkRSlash(local.QXADATADIR) + QStringLiteral("data");
}

Outcome Run(const Inputs& in, const std::function<bool()>& check, Quarn_v2::DirectorySet& local,
            Quarn_v2::DirectorySet& network, const Progress& progress) {
    Outcome out;
    // A folder the dialog could not prepare is empty; a bare name would land
    // the copy in our working folder.
    if (Trim(in.reportTargetDir).isEmpty()) {
        MsgBox(QStringLiteral("Configuration settings invalid, please check setup"));
        return out;
    }
    try {
        if (!check())
            return out;
        out.checked = true;
        QString name, ext;
        ReportNameParts(in.report, name, ext);
        QString targetDir = in.reportTargetDir;
        const QString target = ModCommon::CkRSlash(targetDir) + name + u'.' + ext;

        if (Exists(target)) {
            if (Ask(Overwrite(target))) {
                out.copied |= Copy(in.report, target, progress);
            }
        } else if (ListedAsFile(in.report)) {
            out.copied |= Copy(in.report, target, progress);
        } else {
            MsgBox(QStringLiteral("Source File ") + in.report + QStringLiteral(" doesn't exist."));
        }

        const int s = in.sketchOption;
        if (s >= 1 && s <= 5) {
            const bool toNetwork = in.direction == LocalToNetwork;
            Quarn_v2::DirectorySet& from = toNetwork ? local : network;
            Quarn_v2::DirectorySet& to = toNetwork ? network : local;
            QString& fromDir = s == 1 ? from.QXSDATADIR : from.APEXDATADIR;
            QString& toDir = s == 1 ? to.QXSDATADIR : to.APEXDATADIR;
            QString base = name;
            const QString file = ModCommon::StripRChar(base) +
                                 (s == 1 ? QStringLiteral(".sk3") : SketchExtension(s));
            const QString source = ModCommon::CkRSlash(fromDir) + file;
            const QString sketchTarget = ModCommon::CkRSlash(toDir) + file;
            const QString notFound =
                QStringLiteral("File ") + source + QStringLiteral(" not found.");

            if (toNetwork) {
                if (Exists(sketchTarget)) {
                    if (Ask(Overwrite(sketchTarget))) {
                        out.copied |= Copy(source, sketchTarget, progress);
                    }
                } else if (Exists(source)) {
                    out.copied |= Copy(source, sketchTarget, progress);
                } else {
                    MsgBox(s == 2 || s == 3
                               ? notFound + QStringLiteral(" Sketch not copied to Target Filepath.")
                               : notFound);
                }
            } else if (Exists(sketchTarget)) {
                if (Ask(Overwrite(sketchTarget))) {
                    if (Exists(source)) {
                        out.copied |= Copy(source, sketchTarget, progress);
                    } else {
                        MsgBox(notFound);
                    }
                }
            } else if (Exists(source)) {
                if (s != 1 || Ask(sketchTarget)) {
                    out.copied |= Copy(source, sketchTarget, progress);
                }
            } else {
                MsgBox(notFound);
            }
        }
        if (out.copied)
            MsgBox(QStringLiteral("File(s) copied successfully"));
        return out;
    } catch (const RuntimeError& e) {
        MsgBox(QStringLiteral("Error encountered, ErrNum = ") + e.description());
        out.errorReported = true;
        return out;
    }
}

} // namespace CopyProcedure
