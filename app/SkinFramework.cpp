#include "SkinFramework.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QWidget>

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
