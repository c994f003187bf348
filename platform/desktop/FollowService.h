#pragma once
// The user's systemd unit that keeps the suite on the side that can be
// reached (quarn-follow.service, which the package installs disabled).

#include <QString>

namespace platform {

// Whether the unit is enabled for this user.
bool FollowServiceEnabled();

// Enables and starts, or disables and stops, the unit. "" when done, else
// what systemctl said.
QString SetFollowService(bool on);

} // namespace platform
