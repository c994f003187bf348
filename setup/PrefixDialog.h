#pragma once
// The Wine prefix chooser: the prefixes found to hold the suite, what was
// searched when none was, and a folder picked by hand. It only chooses;
// the caller remembers the choice and puts it in force.

#include "platform/wine/WinePrefixes.h"

#include <QDialog>

#include <functional>
#include <memory>

class SkinFramework;
namespace Ui {
class PrefixDialog;
}

class PrefixDialog : public QDialog {
    Q_OBJECT

public:
    // `current` is listed too when it holds the suite, and is preselected;
    // otherwise the first found is. `skin` may be null.
    PrefixDialog(const platform::PrefixSearch& search, const platform::PrefixPlace& current,
                 const SkinFramework* skin, QWidget* parent = nullptr);
    ~PrefixDialog() override;

    // The folder dialog; tests stand in for it. Takes the starting folder,
    // gives the chosen one or "" on cancel.
    std::function<QString(const QString& startFolder)> chooseFolder;

    // A folder picked by hand: taken and selected when it holds the suite,
    // else refused with a message. False when refused or cancelled.
    bool Browse();
    // The selected prefix, if any.
    std::optional<platform::PrefixPlace> chosen() const;

    Ui::PrefixDialog* ui() const { return ui_.get(); }

private:
    // Selects the row of `place`'s folder, adding it first when it is not listed.
    void Select(const platform::PrefixPlace& place);

    std::unique_ptr<Ui::PrefixDialog> ui_;
    QList<platform::PrefixPlace> places_; // one per row
};
