#include "config/ErrorReport.h"

#include "config/ModCommon.h"
#include "platform/Prompter.h"
#include "platform/win/HostError.h"

namespace ErrorReport {

QString CurrentProc;

RecoveryAction HandleError(int errorNumber) {
    switch (errorNumber) {
    case platform::DeviceIOError:
    case platform::DiskFull:
    case platform::DeviceUnavailable:
    case platform::DiskNotReady: break;
    default: return RecoveryAction::Propagate;
    }
    const QString text = platform::ErrorDescription(errorNumber) + QStringLiteral(".\r\n") +
                         QStringLiteral("Error #") + u' ' + QString::number(errorNumber) +
                         QStringLiteral(" in module ") + ModCommon::Trim(CurrentProc) + u'.';
    switch (platform::MsgBox(text, platform::Buttons::AbortRetryIgnore, platform::Icon::None,
                             QStringLiteral("Error"))) {
    case platform::Answer::Retry: return RecoveryAction::Retry;
    case platform::Answer::Ignore: return RecoveryAction::Skip;
    default: return RecoveryAction::Leave;
    }
}

} // namespace ErrorReport
