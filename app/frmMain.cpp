#include "app/frmMain.h"
#include "office/Texts.h"
#include "suite/Texts.h"

#include "about/frmAbout.h"
#include "office/windows/OfficeShareDialog.h"
#include "office/windows/frmSync.h"
#include "platform/Prompter.h"
#include "platform/desktop/FollowService.h"
#include "platform/desktop/SingleInstance.h"
#include "platform/win/WinPath.h"
#include "platform/wine/WinePrefixes.h"
#include "setup/PrefixDialog.h"
#include "setup/frmConfig.h"
#include "suite/KavLaunch.h"
#include "suite/mod_Shell32.h"
#include "transfer/frmCopy.h"
#include "ui_frmMain.h"
#include "widgets/AlphaImageControl.h"
#include "widgets/ClickFilter.h"
#include "widgets/LazyStyleIcons.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDir>
#include <QFileInfo>
#include <QFileSystemWatcher>
#include <QFontDatabase>
#include <QLayout>

#include <fontconfig/fontconfig.h>

#include <future>
#include <mutex>
#include <system_error>

using namespace Quarn_v2;

// The icons live in a static library: their resource must be registered.
static void InitResources() {
    Q_INIT_RESOURCE(app);
}

namespace {

// The first text laid out waits for the font database, whose filling is
// most of a cold start's work. Most of that is fontconfig reading its
// configuration and caches, which needs no application: it is read while
// the application starts. The rest fills on a thread while the suite is
// read and the window built. QFontDatabase may be used from any thread.
std::future<void> gFontsConfigured;
std::future<void> gFontsFilled;

void WarmFontsAside() {
    static std::once_flag once;
    std::call_once(once, [] {
        try {
            gFontsFilled = std::async(std::launch::async, [] {
                if (gFontsConfigured.valid())
                    gFontsConfigured.wait(); // or both would read the configuration
                QFontDatabase::families();
            });
        } catch (const std::system_error&) {
            // no thread to spare: the first text fills it
        }
    });
}

} // namespace

void frmMain::ConfigureFontsAside() {
    static std::once_flag once;
    std::call_once(once, [] {
        try {
            gFontsConfigured = std::async(std::launch::async, [] { FcInit(); });
        } catch (const std::system_error&) {
            // no thread to spare: the font database reads it
        }
    });
}

frmMain::frmMain(const QString& instanceKey, QWidget* parent)
    : QMainWindow(parent), instanceKey_(instanceKey) {
    InitResources();
    WarmFontsAside();
    reread_.setSingleShot(true);
    reread_.setInterval(150);
    connect(&reread_, &QTimer::timeout, this, &frmMain::ReadInForce);
}

// Built once the suite is read: until the fonts are in, the window's first
// text would only wait for them.
void frmMain::BuildWindow() {
    ui_ = std::make_unique<Ui::frmMain>();
    DeferMenuBarExtensionIcons();
    ui_->setupUi(this);
    setWindowFlag(Qt::MSWindowsFixedSizeDialogHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);

    // A form's point size is whole; these captions are 9.75 points.
    for (QLabel* l : {ui_->lblSetLocal, ui_->Label4, ui_->lblExit}) {
        QFont f = l->font();
        f.setPointSizeF(9.75);
        l->setFont(f);
    }
    wireCaptions();
    wireImageButtons();
    wireHiddenButtons();
    wireFileMenu();
    wireSetupMenu();
    wireHelpMenu();
}

// The captions beside the images act like buttons.
void frmMain::wireCaptions() {
    const auto onClick = [this](QWidget* caption, auto action) {
        connect(ClickFilter::Watch(caption), &ClickFilter::clicked, this, action);
    };
    onClick(ui_->lblSetLocal, [this] { Switch(true); });
    onClick(ui_->Label4, [this] { Switch(false); });
    onClick(ui_->Label5, [this] { transferFiles(); });
    onClick(ui_->Label6, [this] { launchKav(); });
    onClick(ui_->lblExit, [this] { close(); });
}

// The five images: their clicks, and their light under the pointer.
void frmMain::wireImageButtons() {
    connect(ui_->imgLocal, &AlphaImageControl::clicked, this, [this] { Switch(true); });
    connect(ui_->imgNetwork, &AlphaImageControl::clicked, this, [this] { Switch(false); });
    connect(ui_->imgLocal, &AlphaImageControl::doubleClicked, this, &frmMain::askExit);
    connect(ui_->imgNetwork, &AlphaImageControl::doubleClicked, this, &frmMain::askExit);
    connect(ui_->imgTransfer, &AlphaImageControl::clicked, this, [this] {
        if (Config().CheckDirectories())
            ShowTransfer();
    });
    connect(ui_->imgLaunchQXA, &AlphaImageControl::clicked, this, [this] {
        KavLaunch::LaunchFromFixedPaths(this);
        endWithoutWriting();
    });
    connect(ui_->imgExit, &AlphaImageControl::clicked, this, &QWidget::close);
    for (AlphaImageControl* img :
         {ui_->imgLocal, ui_->imgNetwork, ui_->imgTransfer, ui_->imgLaunchQXA, ui_->imgExit}) {
        connect(img, &AlphaImageControl::entered, img, [img] { img->setDisplayLevel(100); });
        connect(img, &AlphaImageControl::left, img, [img] { img->setDisplayLevel(75); });
    }
}

// Exit and Transfer Files: push buttons the form places beyond its edge.
void frmMain::wireHiddenButtons() {
    connect(ui_->PushButton2, &QPushButton::clicked, this, &frmMain::transferFiles);
    connect(ui_->PushButton1, &QPushButton::clicked, this, &QWidget::close);
}

void frmMain::wireFileMenu() {
    connect(ui_->mnuFileCopy, &QAction::triggered, this, &frmMain::transferFiles);
    connect(ui_->mnuFileSync, &QAction::triggered, this, &frmMain::ShowSync);
    connect(ui_->mnuFileExit, &QAction::triggered, this, &QWidget::close);
}

void frmMain::wireSetupMenu() {
    connect(ui_->mnuSetupConfig, &QAction::triggered, this, [this] {
        Config().exec();
        ShowInForce(); // Save may have changed a set
    });
    connect(ui_->mnuSetupPrefix, &QAction::triggered, this, &frmMain::ChangePrefix);
    connect(ui_->mnuSetupShare, &QAction::triggered, this, &frmMain::ShowOfficeShare);
    // Asked when the menu opens, not at start: the first paint waits for nothing.
    connect(ui_->mnuSetup, &QMenu::aboutToShow, this,
            [this] { ui_->mnuSetupFollow->setChecked(platform::FollowServiceEnabled()); });
    connect(ui_->mnuSetupFollow, &QAction::triggered, this, [this](bool on) {
        if (const QString why = platform::SetFollowService(on); !why.isEmpty()) {
            ui_->mnuSetupFollow->setChecked(!on);
            platform::MsgBox(Texts::FollowNotChanged(on, why));
        }
    });
}

void frmMain::wireHelpMenu() {
    connect(ui_->mnuProgHelp, &QAction::triggered, this, [this] {
        mod_Shell32::GShell(QStringLiteral("quarn.chm"), 3, QString(), QString(),
                            QStringLiteral("open"), this);
    });
    connect(ui_->mnuAbout, &QAction::triggered, this, [this] {
        frmAbout about(&SkinFramework1);
        about.exec();
    });
}

frmMain::~frmMain() {
    delete config_;           // a dialog still loaded unseen goes with the window
    if (gFontsFilled.valid()) // not past the application that it fills for
        gFontsFilled.wait();
}

bool frmMain::Load(const std::function<void()>& beforeStart, bool synchronize) {
    instance_ = std::make_unique<platform::SingleInstance>(
        instanceKey_.isEmpty() ? platform::SingleInstance::DefaultKey() : instanceKey_);
    // Answering waits for the first paint, or a moment where none comes
    // (a window started hidden); a later start asks for a second meanwhile.
    if (instance_->anotherIsRunning(true, synchronize ? QByteArrayLiteral("synchronize")
                                                      : QByteArray())) {
        if (!synchronize) // asked for, the other shows it
            platform::MsgBox(Texts::AlreadyRunning(), platform::Buttons::Ok, platform::Icon::None,
                             Texts::AlreadyRunningTitle());
        writeOnClose_ = false;
        return false;
    }
    instance_->onRequest([this](const QByteArray& request) {
        if (request == "synchronize")
            QTimer::singleShot(0, this, &frmMain::BringSyncForward);
    });
    QTimer::singleShot(250, this, [this] { instance_->answer(); });
    if (beforeStart)
        beforeStart();
    InitialiseMainWindow();
    return true;
}

void frmMain::InitialiseMainWindow() {
    state_ = SuiteState{};
    SkinFramework1.LoadSkin(SkinFramework::DefaultSkinPath(), QString());
    InitialiseSuite(state_);
    if (!ui_)
        BuildWindow();
    SkinFramework1.ApplyWindow(this);
    ShowInForce();
    if (painted_) // at start-up, the watch waits for the first paint
        WatchProducts();
}

namespace {

QString InForceText(InForce set) {
    switch (set) {
    case InForce::Local: return Texts::InForceLocal();
    case InForce::Network: return Texts::InForceNetwork();
    case InForce::Mixed: return Texts::InForceMixed();
    case InForce::Unknown: break;
    }
    return Texts::InForceUnknown();
}

} // namespace

void frmMain::ShowInForce() {
    if (!ui_) // not loaded
        return;
    const InForce set = SetInForce(state_);
    for (AlphaImageControl* img : {ui_->imgLocal, ui_->imgNetwork})
        if (img->toolTip() != InForceText(set))
            img->setToolTip(InForceText(set));
    ui_->imgLocal->setMarked(set == InForce::Local);
    ui_->imgNetwork->setMarked(set == InForce::Network);
}

void frmMain::ReadInForce() {
    state_.CurrentSet = ReadCurrentSet(state_);
    ShowInForce();
}

void frmMain::WatchProducts() {
    // Our writers replace a file by renaming another over it, which ends a
    // watch on the file itself, or, for a hard-linked file, make and remove
    // a copy beside it: the folders' watches see both.
    if (!watch_) {
        watch_ = new QFileSystemWatcher(this);
        connect(watch_, &QFileSystemWatcher::directoryChanged, &reread_,
                qOverload<>(&QTimer::start));
    }
    if (const QStringList old = watch_->directories(); !old.isEmpty())
        watch_->removePaths(old);
    QStringList folders;
    for (const QString& file : ProductPathList(state_.ProductIniPaths)) {
        const auto host = platform::ToHostPath(file);
        const QFileInfo folder(host.ok() ? QFileInfo(host.value).absolutePath() : QString());
        if (host.ok() && folder.isDir() && !folders.contains(folder.absoluteFilePath()))
            folders << folder.absoluteFilePath();
    }
    if (!folders.isEmpty())
        watch_->addPaths(folders);
}

void frmMain::paintEvent(QPaintEvent* event) {
    if (!painted_) {
        painted_ = true;
        QTimer::singleShot(0, this, &frmMain::AfterFirstPaint);
    }
    QMainWindow::paintEvent(event);
}

// What the window's first look does not need.
void frmMain::AfterFirstPaint() {
    if (instance_)
        instance_->answer();
    WatchProducts();
    ReadInForce(); // a switch made while the window came up
}

frmConfig& frmMain::Config() {
    if (!config_)
        config_ = new frmConfig(state_, &SkinFramework1);
    return *config_;
}

void frmMain::transferFiles() {
    if (!Config().CheckDirectories()) {
        InitialiseMainWindow();
        return;
    }
    ShowTransfer();
}

void frmMain::ShowTransfer() {
    frmCopy dialog(
        state_, &SkinFramework1, [this]() -> frmConfig& { return Config(); }, this);
    dialog.exec();
}

void frmMain::ShowSync() {
    // A set without its data folder has no report folder, only a name
    // relative to wherever Quarn was started.
    if (const QString why = SyncPlan::NotSetUp(state_); !why.isEmpty()) {
        platform::MsgBox(why + u'.', platform::Buttons::Ok, platform::Icon::Exclamation);
        return;
    }
    frmSync dialog(SyncPlan::FoldersOf(state_), &SkinFramework1, this);
    dialog.exec();
}

void frmMain::BringSyncForward() {
    QWidget* modal = QApplication::activeModalWidget();
    for (QWidget* w : {static_cast<QWidget*>(this), modal}) {
        if (!w)
            continue;
        w->setWindowState((w->windowState() & ~Qt::WindowMinimized) | Qt::WindowActive);
        w->show();
        w->raise();
        w->activateWindow();
    }
    if (!modal)
        ShowSync();
}

void frmMain::launchKav() {
    KavLaunch::launchKav(state_, this);
}

void frmMain::ChangePrefix() {
    QApplication::setOverrideCursor(Qt::WaitCursor); // the search may take seconds
    const platform::PrefixSearch search = platform::SearchPrefixes(QDir::homePath());
    QApplication::restoreOverrideCursor();
    const platform::PrefixPlace inForce = platform::PrefixInForce();
    PrefixDialog dialog(search, inForce, &SkinFramework1, this);
    const auto chosen = dialog.exec() == QDialog::Accepted ? dialog.chosen() : std::nullopt;
    if (!chosen)
        return;
    platform::RememberPrefix(*chosen);
    if (platform::SameFolder(chosen->folder, inForce.folder))
        return;
    // The old suite is left as Exit leaves it; the Settings dialog read its
    // fields from the old suite and goes, to load afresh from the new one.
    WriteSuiteDirectoriesAtExit(state_);
    delete config_;
    platform::UsePrefix(*chosen);
    InitialiseMainWindow();
}

void frmMain::ShowOfficeShare() {
    OfficeShareDialog dialog(
        state_, [this] { return Switch(true); }, &SkinFramework1, this);
    dialog.exec();
}

bool frmMain::Switch(bool toLocal) {
    QString failed;
    {
        // Another program's switch takes a moment at most; the wait is bounded.
        SwitchTurn turn;
        bool ours = turn.take(0);
        if (!ours) {
            QApplication::setOverrideCursor(Qt::WaitCursor);
            ours = turn.take();
            QApplication::restoreOverrideCursor();
        }
        if (!ours) {
            platform::MsgBox(turn.why(), platform::Buttons::Ok, platform::Icon::Exclamation,
                             platform::ProgramTitle);
            return false;
        }
        // The switch goes on past a failed write; the user hears of them once.
        failed = SwitchFailureText(toLocal ? SwitchToLocal(state_) : SwitchToNetwork(state_));
        ReadInForce(); // what the files hold now, failures included
    }
    if (!failed.isEmpty())
        platform::MsgBox(failed, platform::Buttons::Ok, platform::Icon::Exclamation,
                         platform::ProgramTitle);
    return failed.isEmpty();
}

void frmMain::askExit() {
    if (platform::MsgBox(Texts::ExitQuarn(), platform::Buttons::YesNo) == platform::Answer::Yes)
        close();
}

void frmMain::endWithoutWriting() {
    writeOnClose_ = false;
    close();
}

void frmMain::closeEvent(QCloseEvent* event) {
    if (writeOnClose_)
        WriteSuiteDirectoriesAtExit(state_);
    writeOnClose_ = false; // once, whatever asks again
    event->accept();
    // Every other window goes with the main one.
    QMetaObject::invokeMethod(qApp, &QCoreApplication::quit, Qt::QueuedConnection);
}
