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

    // One of the program's files (the skin, the help) beside the program,
    // else its place in the installed data folder, there or not.
    static QString DataFile(const QString& name);
    static QString DefaultSkinPath() { return DataFile(QStringLiteral("sk.cjstyles")); }

    // Sends the Windows font families the forms name to installed fonts of
    // the same widths. Runs by itself when the application starts.
    static void InstallFonts();

private:
    QString styleSheet_;
};
