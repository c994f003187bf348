#pragma once
// quarnctl share: the office share mounted and put in the prefix, as
// Setup > Office Share... does.

#include <QStringList>
#include <QTextStream>

namespace cli {

// `args` starts with "share". Exit status as Quarnctl's.
int Share(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace cli
