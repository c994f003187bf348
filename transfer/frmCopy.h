#pragma once
// frmCopy is the old program's name for this unit (see docs/layout.md, Glossary).
//
// The transfer dialog: direction, sketch software and a report to copy to
// the other side. Its options are stored in [PREFERENCES] through their
// tags; the copy itself is CopyProcedure's.

#include "suite/CopyProcedure.h"

#include <QDialog>

#include <functional>
#include <memory>

class frmConfig;
class SkinFramework;
namespace Ui {
class frmCopy;
}

class frmCopy : public QDialog {
    Q_OBJECT

public:
    // `config` gives the Settings dialog (loaded unseen on demand).
    frmCopy(Quarn_v2::SuiteState& state, const SkinFramework* skin,
            std::function<frmConfig&()> config, QWidget* parent = nullptr);
    ~frmCopy() override;

    // The open-file dialog; tests stand in for it. Takes the starting host
    // folder, gives the chosen host path or "" on cancel.
    std::function<QString(const QString& startFolder)> openReport;

    int SelectedSketchOption() const;
    void ApplyStoredDirection();
    void Browse();
    void Copy(int direction);
    // Stores the tagged options, once per closing, and closes.
    void done(int result) override;

    QString localTarget() const { return localTarget_; }
    QString networkTarget() const { return networkTarget_; }
    Ui::frmCopy* ui() const { return ui_.get(); }

protected:
    bool event(QEvent* event) override;

private:
    void Load();
    void ShowDirection(int direction);

    std::unique_ptr<Ui::frmCopy> ui_;
    Quarn_v2::SuiteState& state_;
    std::function<frmConfig&()> config_;
    // The hidden file lists' paths: the two report folders.
    QString localTarget_, networkTarget_;
    bool directionApplied_ = false;
};
