#include "office/windows/frmVersions.h"

#include "suite/CopyProcedure.h"
#include "widgets/SkinFramework.h"

#include <QDialogButtonBox>
#include <QFileInfo>
#include <QFont>
#include <QLabel>
#include <QLocale>
#include <QPushButton>
#include <QTreeWidget>
#include <QVBoxLayout>

frmVersions::frmVersions(const SyncPlan::Folders& folders, const QString& report,
                         const SkinFramework* skin, QWidget* parent)
    : QDialog(parent), folders_(folders), report_(report), versions_(new QTreeWidget(this)),
      status_(new QLabel(this)), cmdPutBack_(new QPushButton(QStringLiteral("Put Back"), this)) {
    setWindowTitle(QStringLiteral("Previous Versions of ") + report);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFont(QFont(QStringLiteral("MS Sans Serif"), 8)); // as Synchronize Reports
    versions_->setAccessibleName(QStringLiteral("Versions"));
    versions_->setHeaderLabels({QStringLiteral("Side"), QStringLiteral("Kept"),
                                QStringLiteral("Computer"), QStringLiteral("Size"),
                                QStringLiteral("Files")});
    versions_->setRootIsDecorated(false);
    status_->setAccessibleDescription(QStringLiteral("Status"));
    status_->setWordWrap(true);
    status_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    cmdPutBack_->setToolTip(QStringLiteral(
        "Puts the selected version back on its side; the current files are kept first"));

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->addButton(cmdPutBack_, QDialogButtonBox::ActionRole);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(cmdPutBack_, &QPushButton::clicked, this, &frmVersions::PutBack);
    connect(versions_, &QTreeWidget::itemSelectionChanged, this,
            [this] { cmdPutBack_->setEnabled(!versions_->selectedItems().isEmpty()); });
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    layout->addWidget(versions_);
    layout->addWidget(status_);
    layout->addWidget(buttons);
    if (skin)
        skin->ApplyWindow(this);
    resize(720, 360);
    List();
}

void frmVersions::List() {
    const ReportVersions::Listing listing = ReportVersions::List(folders_, report_);
    listed_ = listing.versions;
    versions_->clear();
    for (const ReportVersions::Version& v : listed_) {
        qint64 size = 0;
        QStringList files;
        for (const platform::KeptVersion& f : v.files) {
            size += f.size;
            files << f.original;
        }
        const platform::KeptVersion& first = v.files.front();
        new QTreeWidgetItem(
            versions_,
            {v.network ? QStringLiteral("share") : QStringLiteral("laptop"),
             QLocale().toString(first.keptAt.toLocalTime(), QStringLiteral("yyyy-MM-dd HH:mm:ss")),
             first.computer, QLocale().formattedDataSize(size), files.join(QStringLiteral(", "))});
    }
    for (int c = 0; c < versions_->columnCount(); ++c)
        versions_->resizeColumnToContents(c);
    QStringList lines;
    if (listed_.isEmpty())
        lines << QStringLiteral("No kept versions of %1.").arg(report_);
    for (const QString& problem : listing.problems)
        lines << QStringLiteral("Not listed: ") + problem;
    status_->setText(lines.join(u'\n'));
    cmdPutBack_->setEnabled(false);
}

void frmVersions::PutBack() {
    const int at = versions_->indexOfTopLevelItem(versions_->currentItem());
    if (at < 0 || at >= listed_.size())
        return;
    const ReportVersions::Restored done = ReportVersions::Restore(folders_, listed_[at].argument());
    QString said;
    if (done.declined)
        said = QStringLiteral("Nothing was put back.");
    else if (!done.why.isEmpty())
        said = done.why;
    putBack_ = putBack_ || !done.files.isEmpty();
    List();
    QStringList put;
    for (const QString& file : done.files)
        put << CopyProcedure::ReportPathFor(file);
    if (!put.isEmpty())
        said.prepend(QStringLiteral("Put back: ") + put.join(QStringLiteral(", ")) +
                     (said.isEmpty() ? QString() : QStringLiteral("\n")));
    status_->setText(said);
}
