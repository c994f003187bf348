#pragma once
// quarnctl: the program's work without windows, for scripts and support.

#include "suite/Quarn_v2.h"

#include <QStringList>
#include <QTextStream>

namespace cli {

// Runs one command line (without the program name). Exit status: 0 done,
// 1 failed (a message on `err`), 2 a usage error.
int Quarnctl(const QStringList& args, QTextStream& out, QTextStream& err);

// Which stored set the products' directories come from: "LOCAL",
// "NETWORK", "mixed" (each key from one or the other, both in use) or
// "unknown". Entries a set leaves empty are not compared, since a switch
// leaves those keys as they were; paths compare without regard to case.
QString SetInForce(const Quarn_v2::SuiteState& s);

} // namespace cli
