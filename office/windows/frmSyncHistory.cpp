#include "office/windows/frmSyncHistory.h"

#include "office/Synchronize.h"
#include "widgets/SkinFramework.h"

#include <QDialogButtonBox>
#include <QFont>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmSyncHistory::frmSyncHistory(const QList<platform::SyncRun>& runs, const QString& problem,
                               const SkinFramework* skin, QWidget* parent)
    : QDialog(parent), runs_(new QTreeWidget(this)) {
    setWindowTitle(QStringLiteral("Synchronization History"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8)); // as Synchronize Reports
    runs_->setAccessibleName(QStringLiteral("Runs"));
    runs_->setHeaderLabels({QStringLiteral("When"), QStringLiteral("Computer"),
                            QStringLiteral("Started by"), QStringLiteral("What happened")});
    runs_->setRootIsDecorated(true);
    runs_->setUniformRowHeights(true);
    const QDateTime now = QDateTime::currentDateTime();
    for (const platform::SyncRun& run : runs) {
        QString what = Synchronize::RunText(run, now).section(QStringLiteral(", "), 1);
        if (run.times > 1)
            what += QStringLiteral(" (%1 runs alike since %2)")
                        .arg(run.times)
                        .arg(Synchronize::When(run.startedMs, now));
        auto* item = new QTreeWidgetItem(runs_, {Synchronize::When(run.endedMs, now), run.computer,
                                                 Synchronize::ByText(run.by), what});
        const std::pair<const char*, const QStringList*> lists[] = {
            {"Sent to the share", &run.sent},
            {"Brought to the laptop", &run.brought},
            {"Kept both", &run.keptBoth},
            {"To the trash", &run.trashed},
            {"Waiting for you", &run.waiting}};
        for (const auto& [label, names] : lists)
            if (!names->isEmpty())
                new QTreeWidgetItem(item, {QString(), QString(), QString(),
                                           QLatin1String(label) + QStringLiteral(": ") +
                                               names->join(QStringLiteral(", "))});
        for (const QString& failed : run.failed)
            new QTreeWidgetItem(
                item, {QString(), QString(), QString(), QStringLiteral("Failed: ") + failed});
    }
    if (runs.isEmpty())
        new QTreeWidgetItem(
            runs_, {problem.isEmpty() ? QStringLiteral("No synchronization yet") : problem});
    if (runs_->topLevelItemCount() > 0) { // the last run open
        runs_->setCurrentItem(runs_->topLevelItem(0));
        runs_->topLevelItem(0)->setExpanded(true);
    }
    for (int c = 0; c < 3; ++c)
        runs_->resizeColumnToContents(c);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(runs_);
    layout->addWidget(buttons);
    if (skin)
        skin->ApplyWindow(this);
    resize(760, 420);
}
