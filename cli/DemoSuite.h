#pragma once
// A ready Wine-style prefix for trying Quarn without the real suite.

#include <QString>

namespace cli {

// Builds what is missing of the demo prefix in `hostDir` and leaves what is
// there as it is, so a second run changes nothing. Returns "" or why not.
QString BuildDemoSuite(const QString& hostDir);

} // namespace cli
