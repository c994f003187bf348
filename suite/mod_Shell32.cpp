#include "suite/mod_Shell32.h"

#include "platform/Prompter.h"
#include "platform/ShellOpen.h"

namespace mod_Shell32 {

QString StrReplace(QString& s, const QString& find, const QString& replacement) {
    if (find.isEmpty())
        return s;
    for (qsizetype at = s.indexOf(find); at >= 0; at = s.indexOf(find, at + replacement.size())) {
        s.replace(at, find.size(), replacement);
    }
    return s;
}

QString ShellMessage(int answer) {
    switch (answer) {
    case 0:
    case 8: return QStringLiteral("Out of memory");
    case 2: return QStringLiteral("File not found");
    case 3: return QStringLiteral("Path not found");
    case 5: return QStringLiteral("Path/file access error");
    case 11: return QStringLiteral("The executable file is invalid or corrupt");
    case 26: return QStringLiteral("A sharing violation occurred.");
    case 27: return QStringLiteral("This file type does not have a valid file association.");
    case 28:
        return QStringLiteral(
            "The file could not be opened due to time out. Please try again in a moment.");
    case 29:
        return QStringLiteral("The file could not be opened because the DDE transaction failed. "
                              "Please try again in a moment.");
    case 30:
        return QStringLiteral("The file could not be opened because the target application is "
                              "busy. Please try again in a moment.");
    case 31: return QStringLiteral("No application is associated with this file type.");
    case 32: return QStringLiteral("The specified dynamic-link library was not found.");
    default:
        return QStringLiteral(
            "An error occurred occurred whilst trying to open or print the selected file.");
    }
}

bool GShell(const QString& target, int windowState, const QString& parameters,
            const QString& directory, const QString& verb, QWidget* owner) {
    Q_UNUSED(owner); // message boxes go to the active window
    if (target.toUpper().contains(QStringLiteral(".EXE")))
        windowState = 0;
    platform::ShellRequest request{verb, target, parameters, directory, windowState};
    if (parameters.isEmpty() && directory.isEmpty())
        request = {verb, target, QString(), QString(), 1}; // every caller comes this way
    const int answer = platform::CurrentShell().execute(request);
    if (answer < 0 || answer > 32)
        return true;
    QString title = platform::ProgramTitle;
    platform::MsgBox(ShellMessage(answer), platform::Buttons::Ok, platform::Icon::Information,
                     StrReplace(title, QStringLiteral("_"), QStringLiteral(" ")));
    return false;
}

} // namespace mod_Shell32
