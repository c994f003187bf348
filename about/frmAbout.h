#pragma once
// frmAbout is the old program's name for this unit (see docs/layout.md, Glossary).
//
// The about box: the picture, the version, the copyright and the web
// address, and the system information tool behind a hidden button that
// holds the focus when the box opens.

#include <QDialog>

#include <memory>

class SkinFramework;
namespace Ui {
class frmAbout;
}

class frmAbout : public QDialog {
    Q_OBJECT

public:
    explicit frmAbout(const SkinFramework* skin, QWidget* parent = nullptr);
    ~frmAbout() override;

    static QString WebAddress(); // scheme, host and a closing slash
    // Major, minor and revision without leading zeros: 1.00.0012 reads 1.0.12.
    static QString VersionText(const QString& version);

    Ui::frmAbout* ui() const { return ui_.get(); }

protected:
    void showEvent(QShowEvent* event) override;

private:
    std::unique_ptr<Ui::frmAbout> ui_;
};

namespace SysInfo {

constexpr quint32 HKEY_LOCAL_MACHINE = 0x80000002;

// True when the value was read; KeyVal "" when the key or value is missing
// (or longer than 1024 bytes), left as it was for types other than text or
// a 32-bit number.
bool GetKeyValue(quint32 KeyRoot, const QString& KeyName, const QString& SubKeyRef,
                 QString& KeyVal);

// The system information tool, from the registry's two places, or the
// message that it is unavailable.
void StartSysInfo();

} // namespace SysInfo
