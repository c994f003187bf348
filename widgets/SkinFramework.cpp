#include "widgets/SkinFramework.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QWidget>

void SkinFramework::InstallFonts() {
    // The windows are laid out for the fonts of Windows. Where those are
    // missing, fontconfig would hand out the desktop's sans-serif, often much
    // wider, and texts would be cut off; the fonts of the same widths come
    // first (fonts-liberation, which the package recommends, or Croscore).
    const QStringList sans{QStringLiteral("Liberation Sans"), QStringLiteral("Arimo")};
    for (const char* family : {"MS Sans Serif", "Microsoft Sans Serif", "Arial", "Tahoma"})
        QFont::insertSubstitutions(QString::fromLatin1(family), sans);
    QFont::insertSubstitutions(QStringLiteral("Georgia"),
                               {QStringLiteral("Liberation Serif"), QStringLiteral("Tinos")});
}

namespace {
// Before the first window resolves a font: a font once loaded stays cached.
void InstallFontsAtStart() {
    SkinFramework::InstallFonts();
}
Q_COREAPP_STARTUP_FUNCTION(InstallFontsAtStart)
} // namespace

void SkinFramework::LoadSkin(const QString& path, const QString& unused) {
    Q_UNUSED(unused);
    styleSheet_.clear();
    QFile f(path);
    // A skin is a page of text; anything larger is not one.
    if (!f.open(QIODevice::ReadOnly) || f.size() > 1024 * 1024)
        return;
    styleSheet_ = QString::fromUtf8(f.readAll());
}

void SkinFramework::ApplyWindow(QWidget* window) const {
    if (window && loaded())
        window->setStyleSheet(styleSheet_);
}

QString SkinFramework::DataFile(const QString& name) {
    const QString dir = QCoreApplication::applicationDirPath();
    const QString beside = dir + u'/' + name;
    if (QFileInfo::exists(beside))
        return beside;
    return dir + QStringLiteral("/../share/quarn/") + name;
}
