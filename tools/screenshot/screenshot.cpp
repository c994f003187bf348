// Shows a window as a user would see it and saves a picture of it, for
// docs/ and for looking at changes:
//   screenshot <out.png> [main|config|transfer|about|message|prefix|share|sync|history|versions]
// Run it under xvfb-run (or on a desktop) with WINEPREFIX set; the prefix
// chooser lists the suites found in $HOME.

#include "about/frmAbout.h"
#include "app/frmMain.h"
#include "office/Texts.h"
#include "office/windows/OfficeShareDialog.h"
#include "office/windows/frmSync.h"
#include "office/windows/frmSyncHistory.h"
#include "office/windows/frmVersions.h"
#include "platform/desktop/QtPrompter.h"
#include "setup/PrefixDialog.h"
#include "setup/frmConfig.h"
#include "transfer/frmCopy.h"
#include "ui_OfficeShareDialog.h"
#include "ui_frmSync.h"

#include <QApplication>
#include <QDir>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

int main(int argc, char** argv) {
    QApplication app(argc, argv);
    if (argc < 2)
        return 2;
    platform::QtPrompter prompter;
    platform::ScopedPrompter use(prompter);
    frmMain window(QStringLiteral("quarn-screenshot"));
    if (!window.Load())
        return 1;
    QWidget* shown = &window;
    std::unique_ptr<frmCopy> transfer;
    std::unique_ptr<frmAbout> about;
    std::unique_ptr<PrefixDialog> prefix;
    std::unique_ptr<OfficeShareDialog> share;
    std::unique_ptr<QMessageBox> message;
    std::unique_ptr<frmSync> sync;
    std::unique_ptr<QDialog> dialog;
    if (argc > 2 && qstrcmp(argv[2], "config") == 0) {
        shown = &window.Config();
    } else if (argc > 2 && qstrcmp(argv[2], "transfer") == 0) {
        transfer = std::make_unique<frmCopy>(window.state(), &window.skin(),
                                             [&]() -> frmConfig& { return window.Config(); });
        shown = transfer.get();
    } else if (argc > 2 && qstrcmp(argv[2], "about") == 0) {
        about = std::make_unique<frmAbout>(&window.skin());
        shown = about.get();
    } else if (argc > 2 && qstrcmp(argv[2], "prefix") == 0) {
        prefix = std::make_unique<PrefixDialog>(platform::SearchPrefixes(QDir::homePath()),
                                                platform::PrefixInForce(), &window.skin());
        shown = prefix.get();
    } else if (argc > 2 && qstrcmp(argv[2], "share") == 0) {
        // As just after Connect: the demo suite has no server to connect to,
        // so the fields and the state line are filled in by hand.
        share = std::make_unique<OfficeShareDialog>(window.state(), nullptr, &window.skin());
        share->ui()->txtShare->setText(QStringLiteral("\\\\office\\data"));
        share->ui()->txtUser->setText(QStringLiteral("jdoe"));
        share->ui()->txtDomain->setText(QStringLiteral("OFFICE"));
        share->ui()->chkRemember->setChecked(true);
        share->ui()->cmdDisconnect->setEnabled(true);
        share->ui()->lblState->setText(
            Texts::ShareConnected(QStringLiteral("\\\\office\\data"), QStringLiteral("N:")));
        share->ui()->lblLimits->setText(
            Texts::ShareLocksStayHere(QStringLiteral("\\\\office\\data"), QStringLiteral("N:")));
        share->ui()->lblLimits->setVisible(true);
        shown = share.get();
    } else if (argc > 2 && qstrcmp(argv[2], "sync") == 0) {
        sync = std::make_unique<frmSync>(SyncPlan::FoldersOf(window.state()), &window.skin());
        shown = sync.get();
    } else if (argc > 2 && qstrcmp(argv[2], "history") == 0) {
        // What the record of the prefix's synchronizations holds.
        platform::SyncRecord record(SyncPlan::FoldersOf(window.state()).pairKey());
        dialog = std::make_unique<frmSyncHistory>(record.runs(), record.problem(), &window.skin());
        shown = dialog.get();
    } else if (argc > 3 && qstrcmp(argv[2], "versions") == 0) {
        dialog = std::make_unique<frmVersions>(SyncPlan::FoldersOf(window.state()),
                                               QString::fromLocal8Bit(argv[3]), &window.skin());
        shown = dialog.get();
    } else if (argc > 2 && qstrcmp(argv[2], "message") == 0) {
        // A question of the copy, skinned as the main window is.
        message = platform::BuildMessageBox(
            {QStringLiteral("Quarn"),
             QStringLiteral("File N:\\QXDATA\\APPRAISE\\Data\\SMITH.RPT Exists.  Are you "
                            "sure you wish to Overwrite?"),
             platform::Buttons::YesNo, platform::Icon::None, 0},
            &window);
        shown = message.get();
    }
    shown->show();
    int status = 1;
    // Once painted, and once a plan made on its thread is in.
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        if (sync && sync->busy())
            return;
        // The conflict selected, the buttons that answer it ready.
        if (sync && sync->ui()->tblReports->selectedItems().isEmpty()) {
            for (int i = 0; i < sync->plan().rows.size(); ++i)
                if (sync->plan().rows[i].state == SyncPlan::State::Unknown)
                    sync->ui()->tblReports->selectRow(i);
            if (!sync->ui()->tblReports->selectedItems().isEmpty())
                return;
        }
        poll.stop();
        status = shown->grab().save(QString::fromLocal8Bit(argv[1])) ? 0 : 1;
        app.exit(status);
    });
    poll.start(700);
    app.exec();
    return status;
}
