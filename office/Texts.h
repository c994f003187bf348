#pragma once
// What the office's windows and quarnctl's office commands say when the code
// builds it: the office share, following it, synchronizing reports and their
// kept versions. One namespace with suite/Texts.h, whose texts (the lock on
// the share, a version not kept) the transfer shares with the sync: a unit
// that says both includes both. Kept elsewhere: the follow's notices
// (ShareFollow).

#include <QString>
#include <QStringList>

#include <algorithm>

namespace Texts {
// Setup > Follow the Office Share.
inline QString FollowNotChanged(bool on, const QString& why) {
    return QStringLiteral("Quarn could not turn following the office share ") +
           (on ? QStringLiteral("on") : QStringLiteral("off")) + QStringLiteral(": ") + why;
}

// The office share (Setup > Office Share..., quarnctl share).
inline QString ShareConnected(const QString& unc, const QString& drive) {
    return QStringLiteral("Connected: ") + unc + QStringLiteral(" as ") + drive;
}
// Under the state line, what the drive's mount cannot do.
inline QString ShareLocksStayHere(const QString& unc, const QString& drive) {
    return QStringLiteral("Locks stay on this laptop: another laptop can open a file on ") + drive +
           QStringLiteral(" while it is open here. For locks the whole office sees, ask your "
                          "administrator to mount ") +
           unc +
           QStringLiteral(" through the kernel (cifs) on this laptop; Quarn then uses that mount.");
}
inline QString ShareCannotSaveOver(const QString& drive) {
    return QStringLiteral("Programs under Wine can read ") + drive +
           QStringLiteral(" but not save over its files: install rclone, then Disconnect and "
                          "Connect again.");
}
inline QString ShareNotConnected() {
    return QStringLiteral("Not connected");
}
inline QString ShareDisconnectedByYou() {
    return QStringLiteral("Not connected (disconnected by you; Connect to use it again)");
}
inline QString ShareConnecting(const QString& unc) {
    return QStringLiteral("Connecting to ") + unc + QStringLiteral("…");
}
inline QString ShareDisconnecting(const QString& unc) {
    return QStringLiteral("Disconnecting ") + unc + QStringLiteral("…");
}
inline QString ShareMountedElsewhere(const QString& unc, const QString& drive) {
    return QStringLiteral("Not connected: ") + unc + QStringLiteral(" is mounted, but ") + drive +
           QStringLiteral(" does not lead to it");
}
inline QString ShareBadDrive(const QString& drive) {
    return QStringLiteral("\"") + drive +
           QStringLiteral(
               "\" is not a drive letter for the share: give one from D: to Z:, such as N:.");
}
inline QString ShareWrongPassword(const QString& unc) {
    return QStringLiteral("The server turned down the user name or password for ") + unc +
           QStringLiteral(". Check them and connect again.");
}
inline QString SharePasswordNeeded(const QString& unc) {
    return unc + QStringLiteral(" needs a user name and password, and none is remembered for this "
                                "user: give the password.");
}
inline QString ShareUnknownServer(const QString& server) {
    return QStringLiteral("No server named \"") + server +
           QStringLiteral("\" was found. Check the server's name, and that this computer is on the "
                          "office network.");
}
inline QString ShareNoSuchShare(const QString& server, const QString& share) {
    return QStringLiteral("The server ") + server + QStringLiteral(" has no share named \"") +
           share + QStringLiteral("\". Check the share's name.");
}
inline QString ShareProtocolRefused(const QString& server) {
    return QStringLiteral("The server ") + server +
           QStringLiteral(" refused the connection: it offers no file sharing this computer can "
                          "use. Ask whoever looks after it to turn on SMB 2 or later.");
}
inline QString ShareNoAnswer(const QString& server) {
    return QStringLiteral("The server ") + server +
           QStringLiteral(" did not answer within ten seconds. Check that it is on and that this "
                          "computer is on the office network.");
}
inline QString ShareNoFuseFolder() {
    return QStringLiteral(
        "The share was reached, but programs cannot open it: this desktop has no GVfs FUSE folder. "
        "Install the package gvfs-fuse, log out and in again, then connect.");
}
inline QString ShareNoGvfs() {
    return QStringLiteral(
        "This desktop cannot mount network shares: GVfs does not answer. Install the packages "
        "gvfs-backends and gvfs-fuse, log out and in again, then connect.");
}
inline QString ShareNoSmbBackend() {
    return QStringLiteral("This desktop cannot open SMB shares: install the package "
                          "gvfs-backends, log out and in again, then connect.");
}
inline QString ShareUnreadable(const QString& unc) {
    return unc + QStringLiteral(" was mounted, but its folders cannot be read with this login. "
                                "Check the user's rights on the share.");
}
inline QString ShareNotMounted(const QString& detail) {
    return QStringLiteral("The share could not be mounted: ") + detail;
}
inline QString ShareDriveTaken(const QString& drive, const QString& target, const QString& unc) {
    return drive + QStringLiteral(" leads to ") + target + QStringLiteral(".\n\nReplace it with ") +
           unc + QStringLiteral("? Disconnecting puts it back.");
}
inline QString ShareUncTaken(const QString& unc, const QString& target) {
    return unc + QStringLiteral(" leads to ") + target +
           QStringLiteral(" in the Wine prefix.\n\nLet it lead to the share mounted now? "
                          "Disconnecting puts it back.");
}
inline QString ShareUncKept(const QString& unc) {
    return unc + QStringLiteral(" was left as it is in the Wine prefix: the share was not "
                                "connected.");
}
inline QString ShareIniNotWritten(const QString& file, const QString& why) {
    return file +
           QStringLiteral(" could not be written, so the share's drive was left as it is: ") + why;
}
inline QString ShareDriveKept(const QString& drive) {
    return drive + QStringLiteral(" was left as it is: choose another drive letter for the share.");
}
inline QString ShareNotLinked(const QString& why) {
    return QStringLiteral("The share could not be put in the Wine prefix: ") + why;
}
inline QString ShareNotMarked(const QString& drive, const QString& why) {
    return drive + QStringLiteral(" is not marked as a network drive in the prefix's registry: ") +
           why;
}
inline QString ShareRestartPrograms(const QString& drive) {
    return QStringLiteral("Programs of the suite that are running now see ") + drive +
           QStringLiteral(" once they are started again.");
}
inline QString ShareNoWine() {
    return QStringLiteral("the Wine this prefix needs is not installed");
}
inline QString ShareNotUnmounted(const QString& why) {
    return QStringLiteral("The share was taken out of the Wine prefix but is still mounted: ") +
           why;
}
inline QString ShareCopyRunning() {
    return QStringLiteral("A report is being copied to or from the office share. Disconnect once "
                          "the copy has ended.");
}
inline QString ShareOfferLocal(const QString& drive) {
    return QStringLiteral("The suite uses the office share on ") + drive +
           QStringLiteral(". Switch it to the LOCAL set before the share is disconnected?");
}

// Kept versions put back (quarnctl sync --restore).
inline QString VersionNotRestored(const QString& file, const QString& why) {
    return file + QStringLiteral(" could not be put back: ") + why;
}
inline QString NoSuchVersion(const QString& version) {
    return QStringLiteral("There is no kept version ") + version +
           QStringLiteral("; quarnctl sync --versions lists them.");
}
inline QString RestoreOverNewer(const QString& file, const QString& side, const QString& saved) {
    return file + QStringLiteral(" on the ") + side +
           QStringLiteral(" was saved after this version of it (saved ") + saved +
           QStringLiteral("). Put the older version back? The current one is kept as a "
                          "version first.");
}
// Synchronizing by itself (quarnctl follow's notifications).
inline QString AutoSyncTitle() {
    return QStringLiteral("Reports synchronized");
}
inline QString AutoSyncFailedTitle() {
    return QStringLiteral("Reports not synchronized");
}
inline QString AutoSyncOpenWindow() {
    return QStringLiteral("Open Synchronize Reports");
}
// What a run moved and left, as the notification says it; empty when
// nothing moved and nothing waits.
inline QString AutoSyncTold(int sent, int brought, int conflicts, int otherWaiting) {
    const auto reports = [](int n) {
        return QString::number(n) +
               (n == 1 ? QStringLiteral(" report") : QStringLiteral(" reports"));
    };
    QStringList moved;
    if (sent > 0)
        moved << reports(sent) + QStringLiteral(" sent to the office share");
    if (brought > 0)
        moved << (moved.isEmpty() ? reports(brought) : QString::number(brought)) +
                     QStringLiteral(" brought to the laptop");
    QString text =
        moved.isEmpty() ? QString() : moved.join(QStringLiteral(", ")) + QStringLiteral(".");
    QStringList waiting;
    if (conflicts > 0)
        waiting << QString::number(conflicts) + (conflicts == 1 ? QStringLiteral(" conflict")
                                                                : QStringLiteral(" conflicts"));
    if (otherWaiting > 0)
        waiting << (conflicts == 0 ? reports(otherWaiting)
                                   : QString::number(otherWaiting) +
                                         (otherWaiting == 1 ? QStringLiteral(" other report")
                                                            : QStringLiteral(" other reports")));
    if (!waiting.isEmpty())
        text += (text.isEmpty() ? QString() : QStringLiteral(" ")) +
                waiting.join(QStringLiteral(" and ")) +
                (conflicts + otherWaiting == 1 ? QStringLiteral(" waits for you.")
                                               : QStringLiteral(" wait for you."));
    return text;
}
inline QString SyncAutomaticNotChanged(bool on, const QString& why) {
    return QStringLiteral("Synchronizing by itself could not be turned ") +
           (on ? QStringLiteral("on") : QStringLiteral("off")) + QStringLiteral(": ") + why;
}
inline QString AutoSyncBusy() {
    return QStringLiteral("A transfer or a synchronization is running: the reports are "
                          "synchronized once it ends.");
}
inline QString AutoSyncStopped(const QString& why) {
    return QStringLiteral("The reports were not synchronized. ") + why;
}
inline QString AutoSyncFailed(int failed, const QString& report, const QString& why) {
    QString text =
        QString::number(failed) +
        (failed == 1 ? QStringLiteral(" report was") : QStringLiteral(" reports were")) +
        QStringLiteral(" not synchronized: ") +
        (report.isEmpty() ? why : report + QStringLiteral(" (") + why + QStringLiteral(")"));
    while (text.endsWith(u'.'))
        text.chop(1);
    if (failed > 1)
        text += QStringLiteral(" and others");
    return text + QStringLiteral(".");
}

// Synchronize Reports (File > Synchronize Reports..., quarnctl sync).
inline QString SyncNotSetUp(const QString& set, const QString& suiteIni) {
    return QStringLiteral("[") + set + QStringLiteral("] QXADATADIR is not set up in ") + suiteIni +
           QStringLiteral("; nothing was planned");
}
inline QString SyncTitle() {
    return QStringLiteral("Synchronize Reports");
}
inline QString SyncChangedMeanwhile(const QString& report) {
    return report + QStringLiteral(" changed on the share after the plan was made; it was left "
                                   "as it is and is now a conflict.");
}
inline QString SyncSetAside(const QString& sketch) {
    return sketch + QStringLiteral(" was saved on the laptop during the sync; that version is "
                                   "kept in the folder's .quarn-versions.");
}
inline QString SyncSideEmpty(const QString& side, const QString& folder, int known) {
    return QStringLiteral("The ") + side + QStringLiteral(" report folder ") + folder +
           QStringLiteral(" lists no reports, but the last synchronization saw ") +
           QString::number(known) +
           QStringLiteral(" there. Is the office share mounted? Nothing was planned, so that "
                          "nothing is copied over or taken for deleted.");
}
inline QString SyncSideEmptyUnknown(const QString& side, const QString& folder) {
    return QStringLiteral("The ") + side + QStringLiteral(" report folder ") + folder +
           QStringLiteral(" lists no reports, and the record of the last synchronization could "
                          "not be read to tell whether it should. Is the office share mounted? "
                          "Nothing was planned; a new record is kept from now on, so the next "
                          "look plans as usual.");
}
inline QString SyncSideUnlisted(const QString& side, const QString& folder, const QString& why) {
    return QStringLiteral("The ") + side + QStringLiteral(" report folder ") + folder +
           QStringLiteral(" cannot be read (") + why + QStringLiteral("). Nothing was planned.");
}
inline QString SyncRecordUnreadable(const QString& why) {
    return QStringLiteral("The record of the last synchronization could not be read (") + why +
           QStringLiteral("), so Quarn cannot tell which side changed: reports that differ are "
                          "shown as unknown and nothing is overwritten without your choice.");
}
inline QString SyncNothingToDo() {
    return QStringLiteral("The laptop and the share hold the same reports: nothing to move.");
}
// The Synchronize Reports window's status line and progress.
inline QString SyncLooking() {
    return QStringLiteral("Looking at the report folders on the laptop and the share…");
}
inline QString SyncPlanned(int reports, int moving, int waiting) {
    QString text = QString::number(reports) +
                   (reports == 1 ? QStringLiteral(" report, ") : QStringLiteral(" reports, ")) +
                   QString::number(moving) + QStringLiteral(" to move.");
    if (waiting > 0)
        text += QStringLiteral(" Left for you to choose: ") + QString::number(waiting) +
                QStringLiteral(" (select them, then choose what to do).");
    return text;
}
inline QString SyncCannotTake(int rows) {
    return QString::number(rows) +
           QStringLiteral(" of the selected reports cannot take that action: they were left as "
                          "they were.");
}
// Report 3 of 12: SMITH.RPT, 1.2 MB of 4.5 MB, about 20 s left. `done` and
// `total` are sizes in words, `secondsLeft` below 0 when not known yet.
inline QString SyncProgress(int number, int reports, const QString& report, const QString& done,
                            const QString& total, qint64 secondsLeft) {
    QString text = QStringLiteral("Report ") + QString::number(number) + QStringLiteral(" of ") +
                   QString::number(reports) + QStringLiteral(": ") + report + QStringLiteral(", ") +
                   done + QStringLiteral(" of ") + total;
    if (secondsLeft >= 0)
        text += QStringLiteral(", about ") +
                (secondsLeft < 90
                     ? QString::number(std::max<qint64>(secondsLeft, 1)) + QStringLiteral(" s left")
                     : QString::number((secondsLeft + 30) / 60) + QStringLiteral(" min left"));
    return text;
}
inline QString SyncStopping() {
    return QStringLiteral("Stopping: the report being copied is left as it was on both sides…");
}
inline QString SyncCloseWhileRunning() {
    return QStringLiteral("The reports are still being synchronized. Stop and close the window? "
                          "The report being copied is left as it was on both sides.");
}

} // namespace Texts
