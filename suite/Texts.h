#pragma once
// What the windows' message boxes, titles and captions say when the code
// builds it, in one place to find, review and test (the help file explains
// each). Kept elsewhere: the texts the forms hold; the run-time's error
// descriptions with their numbers (platform/win/HostError), the shell's answers
// with theirs (mod_Shell32's ShellMessage); the error reporter's frame
// (config/ErrorReport) and TagIni's one box; the office-share follow's notices
// (ShareFollow) and quarnctl's own output (cli/).

#include <QString>
#include <QStringList>

#include <algorithm>

namespace Texts {

// The main window.
inline QString AlreadyRunningTitle() {
    return QStringLiteral("Program Already Running in Memory");
}
inline QString AlreadyRunning() {
    return QStringLiteral("The current application is already running in memory. "
                          "If the application is not visible, please end the existing "
                          "process in the Windows Task Manager.");
}
inline QString ExitQuarn() {
    return QStringLiteral("Exit Quarn?");
}
inline QString SwitchLeftFiles(const QString& files) {
    return QStringLiteral("Quarn could not change the directories in every product's INI file, "
                          "so some products still use the old ones.\n\n") +
           files;
}
// A switch that waited its full time for another program's.
inline QString SwitchStillRunning() {
    return QStringLiteral("Another switch of the suite is still running. Try again in a moment.");
}
// The Connect buttons' tooltip: which set the products are on now.
inline QString InForceLocal() {
    return QStringLiteral("In force: LOCAL");
}
inline QString InForceNetwork() {
    return QStringLiteral("In force: NETWORK");
}
inline QString InForceMixed() {
    return QStringLiteral("Mixed: some products on each set");
}
inline QString InForceUnknown() {
    return QStringLiteral("In force: unknown");
}

// Starting the appraisal program.
inline QString CannotLaunchTitle() {
    return QStringLiteral("Unable to Open Program");
}
inline QString CannotLaunch() {
    return QStringLiteral("Unable to Launch the Appraisal Program. Check to verify "
                          "the program is installed and functioning properly");
}

// The Wine prefix chooser.
inline QString NothingFound(const QStringList& searched, bool timedOut) {
    return QStringLiteral("No Wine prefix holding the appraisal suite was found. Searched: ") +
           searched.join(QStringLiteral(", ")) +
           (timedOut ? QStringLiteral(" (some did not answer within five seconds).")
                     : QStringLiteral("."));
}
inline QString NoSuiteInFolder(const QString& folder) {
    return QStringLiteral("The folder ") + folder +
           QStringLiteral(" does not hold the appraisal suite: there is no QUARN2.INI in its "
                          "C:\\Valuator or Windows folder.\n\nChoose the Wine prefix "
                          "folder, the one that holds drive_c.");
}

// Setup > Follow the Office Share.
inline QString FollowNotChanged(bool on, const QString& why) {
    return QStringLiteral("Quarn could not turn following the office share ") +
           (on ? QStringLiteral("on") : QStringLiteral("off")) + QStringLiteral(": ") + why;
}

// Settings and the directory check.
inline QString NoSuchDirectory() {
    return QStringLiteral("This directory does not exist. Either correct or remove.");
}
inline QString IgnoreChanges() {
    return QStringLiteral("Ignore changes?");
}

// The transfer dialog and the copy.
inline QString CannotReachNetwork(const QString& folder) {
    return QStringLiteral("Unable to connect to network Directory: ") + folder;
}
inline QString CannotReachLocal(const QString& folder) {
    return QStringLiteral("Unable to connect to local Directory: ") + folder;
}
inline QString SettingsInvalid() {
    return QStringLiteral("Configuration settings invalid, please check setup");
}
inline QString Overwrite(const QString& target) {
    return QStringLiteral("File ") + target +
           QStringLiteral(" Exists.  Are you sure you wish to Overwrite?");
}
inline QString SourceMissing(const QString& report) {
    return QStringLiteral("Source File ") + report + QStringLiteral(" doesn't exist.");
}
inline QString NotFound(const QString& file) {
    return QStringLiteral("File ") + file + QStringLiteral(" not found.");
}
inline QString SketchNotCopied(const QString& file) {
    return NotFound(file) + QStringLiteral(" Sketch not copied to Target Filepath.");
}
inline QString Copied() {
    return QStringLiteral("File(s) copied successfully");
}
inline QString ErrorReport(const QString& description) {
    return QStringLiteral("Error encountered, ErrNum = ") + description;
}
inline QString Unnameable(const QString& name) {
    return QStringLiteral("The report \"") + name +
           QStringLiteral("\" cannot be transferred: Windows cannot name a file that ends in a "
                          "blank or a dot or holds any of \\ : * ? \" < > |. Rename the file "
                          "and try again.");
}
inline QString Copying(const QString& target) {
    return QStringLiteral("Copying ") + target;
}
inline QString ExitCaption() {
    return QStringLiteral("Exit");
}

// The about box.
inline QString NoSystemInformation() {
    return QStringLiteral("System Information Is Unavailable At This Time");
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

// Versions kept before a file is replaced (the transfer, the sync, quarnctl
// sync --versions and --restore).
inline QString VersionNotKept(const QString& file, const QString& why) {
    return QStringLiteral("Error encountered, the old version of ") + file +
           QStringLiteral(" could not be kept (") + why +
           QStringLiteral("), so it was not replaced.");
}
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
// Synchronize Reports (File > Synchronize Reports..., quarnctl sync).
inline QString SyncTitle() {
    return QStringLiteral("Synchronize Reports");
}
inline QString SyncLockHeld(const QString& report, const QString& user, const QString& computer,
                            const QString& since) {
    return report + QStringLiteral(" is being copied by ") + user + QStringLiteral(" on ") +
           computer + QStringLiteral(" since ") + since;
}
inline QString SyncBreakLock(const QString& report, const QString& user, const QString& computer,
                             const QString& since, const QString& renewed) {
    return report + QStringLiteral(" was locked by ") + user + QStringLiteral(" on ") + computer +
           QStringLiteral(" since ") + since +
           QStringLiteral(", and the lock has not been renewed since ") + renewed +
           QStringLiteral(": that copy has most likely stopped. Break the lock and go on?");
}
inline QString SyncLockLost(const QString& report) {
    return report + QStringLiteral(" stopped halfway: another computer broke its lock on the share "
                                   "while the copy stood still. The share's copy is theirs now.");
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
