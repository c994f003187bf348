#pragma once
// Synchronize Reports' Previous Versions…: the kept versions of one report
// on both sides (when kept, by which computer, its size), and Put Back, as
// quarnctl sync --restore does: the current files are kept first.

#include "office/ReportVersions.h"
#include "office/SyncPlan.h"

#include <QDialog>

class QLabel;
class QPushButton;
class QTreeWidget;
class SkinFramework;

class frmVersions : public QDialog {
    Q_OBJECT

public:
    // `skin` may be null.
    frmVersions(const SyncPlan::Folders& folders, const QString& report, const SkinFramework* skin,
                QWidget* parent = nullptr);
    QTreeWidget* versions() const { return versions_; }
    // Puts the selected version back; the list and the line under it follow.
    void PutBack();
    bool putBack() const { return putBack_; } // something was put back

private:
    void List();

    SyncPlan::Folders folders_;
    QString report_;
    QList<ReportVersions::Version> listed_;
    QTreeWidget* versions_;
    QLabel* status_;
    QPushButton* cmdPutBack_;
    bool putBack_ = false;
};
