#pragma once
// quarnctl sync: the reports of the laptop's and the share's report folders
// brought level, as File > Synchronize Reports... does.

#include "office/SyncPlan.h"

#include <QStringList>
#include <QTextStream>

#include <cstdio>

namespace cli {

// `args` starts with "sync". Exit status as Quarnctl's; a dry run fails
// only when no plan can be made.
int Sync(const QStringList& args, QTextStream& out, QTextStream& err);

// One conflict's question on `out`, its answer read from `in`: the action
// taken, Nothing for a skip and at the end of input.
SyncPlan::Action AskConflict(const SyncPlan::Row& row, FILE* in, FILE* out);

} // namespace cli
