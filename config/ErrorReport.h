#pragma once
// The shared error reporter: the one place where a device error asks the
// user Abort, Retry or Ignore. ModCommon::FileExists and the tag loaders
// hand their run-time errors here; other numbers go back to the caller.
//
// A procedure that reports here records its name in CurrentProc on entry
// (the box names it) and, when the answer is Propagate, throws the same
// platform::RuntimeError on to the window or quarnctl that called it.
// A check that may show the box says so in its name (...MayAsk); only
// ModCommon::FileExists keeps its given name and says so in its comment.

#include <QString>

namespace ErrorReport {

enum class RecoveryAction { Retry = 0, Skip = 1, Leave = 2, Propagate = 3 };

// The procedure most recently entered; not restored on exit.
extern QString CurrentProc;

// Abort/Retry/Ignore for the device errors 57, 61, 68 and 71; Propagate for
// every other number, without a message.
RecoveryAction HandleError(int errorNumber);

} // namespace ErrorReport
