#pragma once
// The window skin: "sk.cjstyles", a Qt style sheet, loaded once by the main
// window and applied by every window to itself as it loads. A missing or
// unreadable skin leaves the plain look, silently.

#include <QString>

class QWidget;

class SkinFramework {
public:
    // `path` is the skin file; the second argument is kept for the callers'
    // sake and means nothing here.
    void LoadSkin(const QString& path, const QString& unused = {});
    void ApplyWindow(QWidget* window) const;
    bool loaded() const { return !styleSheet_.isEmpty(); }

    // The skin file beside the program, else in its installed data folder.
    static QString DefaultSkinPath();

private:
    QString styleSheet_;
};
