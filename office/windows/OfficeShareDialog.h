#pragma once
// The office share in one step (Setup > Office Share…): the share, the login
// and the drive letter, Connect and Disconnect, and a state line. The work
// is office/OfficeShare's; Connect and Disconnect run on a thread of their
// own, since a server may take ten seconds to answer, and a question they
// ask is shown here while the thread waits for the answer.

#include "office/OfficeShare.h"
#include "widgets/WorkerQuestion.h"

#include <QDialog>
#include <QPointer>

#include <functional>
#include <memory>
#include <optional>
#include <thread>

class SkinFramework;
namespace Ui {
class OfficeShareDialog;
}

class OfficeShareDialog : public QDialog {
    Q_OBJECT

public:
    // `switchToLocal` switches the suite to the LOCAL set as Connect Local
    // does, and is false when that failed (having said why). `skin` may be
    // null.
    OfficeShareDialog(const Quarn_v2::SuiteState& state, std::function<bool()> switchToLocal,
                      const SkinFramework* skin, QWidget* parent = nullptr);
    // Waits for a Connect or Disconnect still running.
    ~OfficeShareDialog() override;

    // The fields as settings; the password is not among them.
    OfficeShare::Settings settings() const;
    // Both return at once; the state line shows the outcome when it comes.
    void Connect();
    void Disconnect();
    bool busy() const { return thread_.joinable(); }

    Ui::OfficeShareDialog* ui() const { return ui_.get(); }

protected:
    void done(int result) override;

private:
    using Work = std::function<OfficeShare::Result(const OfficeShare::Ask& ask)>;
    void Start(const QString& doing, const Work& work);
    void SetWorking(bool working);
    // The state line, and what the outcome (if any) has to say.
    void ShowOutcome(const OfficeShare::Result* outcome);
    void Abandon();

    std::unique_ptr<Ui::OfficeShareDialog> ui_;
    Quarn_v2::SuiteState state_;
    std::function<bool()> switchToLocal_;
    std::optional<WorkerQuestion> questions_; // the running work's
    QPointer<QWidget> focus_;
    std::thread thread_;
};
