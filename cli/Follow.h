#pragma once
// quarnctl follow: the suite on the NETWORK set while the office share
// answers, on the LOCAL set while it does not.

#include <QStringList>
#include <QTextStream>

namespace cli {

// `args` starts with "follow". Runs until killed; with --once, one look
// and at most one switch. Exit status as Quarnctl's.
int Follow(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace cli
