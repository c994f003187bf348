#pragma once
// frmMain is the old program's name for this unit (see docs/layout.md, Glossary).
//
// The main window: five image buttons with their captions, the menus, and
// the run's state. Its handlers gather what they need and call the units
// that decide (Quarn_v2, KavLaunch, mod_Shell32).

#include "suite/Quarn_v2.h"
#include "widgets/SkinFramework.h"

#include <QMainWindow>
#include <QPointer>
#include <QTimer>

#include <functional>
#include <memory>

namespace Ui {
class frmMain;
}
namespace platform {
class SingleInstance;
}
class QFileSystemWatcher;
class frmConfig;
class frmCopy;

class frmMain : public QMainWindow {
    Q_OBJECT

public:
    // `instanceKey` names the single-instance lock and socket (tests pass
    // their own).
    explicit frmMain(const QString& instanceKey = {}, QWidget* parent = nullptr);
    // Called first in main(), before the application: the fonts'
    // configuration is read while the application starts.
    static void ConfigureFontsAside();
    ~frmMain() override;

    // The single-instance check, then `beforeStart` (start-up puts the
    // prefix in force there), then InitialiseMainWindow, which builds the
    // window the first time (ui() is null before). False when another
    // instance runs: the message has been shown (with `synchronize`, that
    // instance was asked to show Synchronize Reports instead) and the
    // program ends without writing anything.
    bool Load(const std::function<void()>& beforeStart = {}, bool synchronize = false);
    void InitialiseMainWindow();

    const Quarn_v2::SuiteState& state() const { return state_; }
    Quarn_v2::SuiteState& state() { return state_; }
    SkinFramework& skin() { return SkinFramework1; }
    Ui::frmMain* ui() const { return ui_.get(); }

    // The Settings dialog: the one instance, loaded (unseen) on first use and
    // kept until it is closed.
    frmConfig& Config();

    // The directory check, then the transfer dialog; on a failed check the
    // start-up sequence runs again.
    void transferFiles();
    void launchKav();
    // Setup's Wine prefix chooser; another prefix chosen there takes the
    // window over to its suite.
    void ChangePrefix();
    // Setup's office share window.
    void ShowOfficeShare();
    // File > Synchronize Reports…: the two sets' report folders side by side.
    void ShowSync();
    // What `quarn --synchronize` asks of a running Quarn: this window
    // forward, and Synchronize Reports in it unless a window of Quarn's
    // waits for an answer (then that one comes forward).
    void BringSyncForward();

protected:
    void closeEvent(QCloseEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void BuildWindow();
    // What BuildWindow connects, by what it wires.
    void wireCaptions();
    void wireImageButtons();
    void wireHiddenButtons();
    void wireFileMenu();
    void wireSetupMenu();
    void wireHelpMenu();

    // False when the switch could not be made or a write failed (said).
    bool Switch(bool toLocal);
    void askExit();
    void ShowTransfer();
    void endWithoutWriting();
    // The Connect buttons' mark and tooltip, from the products' current
    // values; ReadInForce reads those values again first.
    void ShowInForce();
    void ReadInForce();
    void WatchProducts();
    void AfterFirstPaint();

    std::unique_ptr<Ui::frmMain> ui_;
    std::unique_ptr<platform::SingleInstance> instance_;
    QString instanceKey_;
    Quarn_v2::SuiteState state_;
    SkinFramework SkinFramework1;
    QPointer<frmConfig> config_;
    bool writeOnClose_ = true;
    bool painted_ = false;
    QFileSystemWatcher* watch_ = nullptr;
    QTimer reread_; // a switch replaces several files: one read for them all
};
