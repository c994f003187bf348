#include "setup/PrefixDialog.h"
#include "suite/Texts.h"

#include "platform/Prompter.h"
#include "ui_PrefixDialog.h"
#include "widgets/SkinFramework.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QHeaderView>
#include <QPushButton>

using platform::PrefixPlace;

PrefixDialog::PrefixDialog(const platform::PrefixSearch& search, const PrefixPlace& current,
                           const SkinFramework* skin, QWidget* parent)
    : QDialog(parent), ui_(std::make_unique<Ui::PrefixDialog>()) {
    ui_->setupUi(this);
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    layout()->setSizeConstraint(QLayout::SetFixedSize);
    ui_->lstPrefixes->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    ui_->lstPrefixes->header()->setMinimumSectionSize(90);
    ui_->lstPrefixes->header()->setStretchLastSection(true);

    chooseFolder = [this](const QString& start) {
        return QFileDialog::getExistingDirectory(this, QStringLiteral("Wine Prefix Folder"), start);
    };
    connect(ui_->cmdBrowse, &QPushButton::clicked, this, &PrefixDialog::Browse);
    connect(ui_->cmdOK, &QPushButton::clicked, this, &QDialog::accept);
    connect(ui_->cmdCancel, &QPushButton::clicked, this, &QDialog::reject);
    connect(ui_->lstPrefixes, &QTreeWidget::itemSelectionChanged, this,
            [this] { ui_->cmdOK->setEnabled(chosen().has_value()); });
    connect(ui_->lstPrefixes, &QTreeWidget::itemDoubleClicked, this, &QDialog::accept);

    for (const PrefixPlace& place : search.found)
        Select(place);
    if (!current.folder.isEmpty() && platform::HoldsSuite(current.folder))
        Select(current);
    else if (!places_.isEmpty())
        ui_->lstPrefixes->setCurrentItem(ui_->lstPrefixes->topLevelItem(0));
    ui_->cmdOK->setEnabled(chosen().has_value());
    ui_->lblSearched->setText(Texts::NothingFound(search.searched, search.timedOut));
    ui_->lblSearched->setVisible(search.found.isEmpty());

    if (skin)
        skin->ApplyWindow(this);
}

PrefixDialog::~PrefixDialog() = default;

void PrefixDialog::Select(const PrefixPlace& place) {
    qsizetype row = 0;
    while (row < places_.size() && !platform::SameFolder(places_[row].folder, place.folder))
        ++row;
    if (row == places_.size()) {
        places_ << place;
        // Shown as the search names its places: the home as "~".
        QString shown = QDir::cleanPath(place.folder);
        if (const QString home = QDir::homePath(); shown.startsWith(home + u'/'))
            shown.replace(0, home.size(), u'~');
        auto* row = new QTreeWidgetItem(ui_->lstPrefixes,
                                        {platform::ManagerName(place.manager), place.name, shown});
        row->setToolTip(2, place.folder);
    }
    ui_->lstPrefixes->setCurrentItem(ui_->lstPrefixes->topLevelItem(int(row)));
}

bool PrefixDialog::Browse() {
    const auto selected = chosen();
    const QString folder = chooseFolder(selected ? selected->folder : QDir::homePath());
    if (folder.isEmpty())
        return false;
    if (!platform::HoldsSuite(folder)) {
        platform::MsgBox(Texts::NoSuiteInFolder(folder), platform::Buttons::Ok,
                         platform::Icon::Exclamation);
        return false;
    }
    Select({platform::Manager::Folder, QFileInfo(folder).fileName(), folder, {}});
    return true;
}

std::optional<PrefixPlace> PrefixDialog::chosen() const {
    QTreeWidgetItem* item = ui_->lstPrefixes->currentItem();
    if (!item || !item->isSelected())
        return std::nullopt;
    return places_.value(ui_->lstPrefixes->indexOfTopLevelItem(item));
}
