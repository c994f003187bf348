#pragma once
// quarnctl: the program's work without windows, for scripts and support.

#include "suite/Quarn_v2.h"

#include <QStringList>
#include <QTextStream>

namespace cli {

// Runs one command line (without the program name). Exit status: 0 done,
// 1 failed (a message on `err`), 2 a usage error.
int Quarnctl(const QStringList& args, QTextStream& out, QTextStream& err);

} // namespace cli
