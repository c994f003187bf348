#pragma once
// frmConfig is the old program's name for this unit (see docs/layout.md, Glossary).
//
// The Settings dialog: the LOCAL and NETWORK directory sets of QUARN2.INI,
// edited in twenty fields bound to their keys by tags, and the directory
// check that guards saving and transferring. One instance per run: shown
// for editing, or loaded unseen so other windows can run CheckDirectories.

#include "suite/Quarn_v2.h"

#include <QDialog>

#include <memory>

class QLineEdit;
class SkinFramework;
namespace Ui {
class frmConfig;
}

class frmConfig : public QDialog {
    Q_OBJECT

public:
    // Runs the load sequence. `skin` may be null (no skin engine).
    frmConfig(Quarn_v2::SuiteState& state, const SkinFramework* skin, QWidget* parent = nullptr);
    ~frmConfig() override;

    // Each field in turn, stopping at the first that fails (one message).
    bool CheckDirectories();
    bool ValidDirectoryEntry(QLineEdit* field);
    // DirectoryCheck::ListsAnEntry, the wait pointer shown meanwhile.
    static bool DirectoryExists(const QString& path);
    // The field the last check stopped at, or null.
    QLineEdit* failedField() const { return failedField_; }

    void FillLocalDefault(QLineEdit* local, const QLineEdit* network);
    // The texts the transfer dialog starts browsing from.
    QString NetworkAppraisalText() const;
    QString LocalAppraisalText() const;
    void Save();
    void Cancel();
    void Exit();

    Ui::frmConfig* ui() const { return ui_.get(); }

protected:
    void showEvent(QShowEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QLineEdit* Field(const char* name) const;
    bool SaveWithoutClosing();

    std::unique_ptr<Ui::frmConfig> ui_;
    Quarn_v2::SuiteState& state_;
    QLineEdit* failedField_ = nullptr;
};
