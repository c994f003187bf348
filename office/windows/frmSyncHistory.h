#pragma once
// Synchronize Reports' History…: every run the record keeps, the newest
// first, each opening to what went each way, what waited and what failed.

#include "office/SyncRecord.h"

#include <QDialog>

class QTreeWidget;
class SkinFramework;

class frmSyncHistory : public QDialog {
    Q_OBJECT

public:
    // `problem`: why the history could not be read, shown in its place;
    // `skin` may be null.
    frmSyncHistory(const QList<platform::SyncRun>& runs, const QString& problem,
                   const SkinFramework* skin, QWidget* parent = nullptr);
    QTreeWidget* runs() const { return runs_; }

private:
    QTreeWidget* runs_;
};
