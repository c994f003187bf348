#pragma once
// mod_Shell32 is the old program's name for this unit (see docs/layout.md, Glossary).
//
// Opening documents, programs and web addresses through the shell, with the
// shell's failures told to the user in a message box.

#include <QString>

class QWidget;

namespace mod_Shell32 {

// Replaces every `find` in `s`, left to right, going on behind each
// replacement (so a replacement holding `find` is not replaced again);
// changes `s` in place and returns it. An empty `find` changes nothing.
QString StrReplace(QString& s, const QString& find, const QString& replacement);

// True when the shell took the request. Failures show the shell's message,
// with the information icon, titled with the program's title.
bool GShell(const QString& target, int windowState, const QString& parameters,
            const QString& directory, const QString& verb, QWidget* owner);

// The message for a failing shell answer (0 to 32).
QString ShellMessage(int answer);

} // namespace mod_Shell32
