#pragma once
// What the windows' message boxes, titles and captions say when the code
// builds it, in one place to find, review and test (the help file explains
// each). Kept elsewhere: the texts the forms hold; the run-time's error
// descriptions with their numbers (platform/win/HostError), the shell's answers
// with theirs (mod_Shell32's ShellMessage); the error reporter's frame
// (config/ErrorReport) and TagIni's one box; quarnctl's own output (cli/).
// What the office's windows say is in office/Texts.h, in this namespace too.

#include <QString>
#include <QStringList>

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

// Versions kept before a file is replaced (the transfer, the sync, quarnctl
// sync --versions and --restore).
inline QString VersionNotKept(const QString& file, const QString& why) {
    return QStringLiteral("Error encountered, the old version of ") + file +
           QStringLiteral(" could not be kept (") + why +
           QStringLiteral("), so it was not replaced.");
}
// The lock on the office share, which a transfer and a sync take.
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

} // namespace Texts
