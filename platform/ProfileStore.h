#pragma once
// The profile-file store on host paths: the Windows profile functions'
// reading rules over IniDocument, a cache of parsed files checked against the
// file's identity, size and times, and atomic writes. Nothing stays open.

#include <QString>

namespace platform::profile {

// The value, or `def` (trailing blanks and a surrounding pair of quotes
// removed) when the file, section or key does not exist. Never creates a file.
QString Read(const QString& hostPath, QStringView section, QStringView key, QStringView def);

// Whether a change took effect (or was not needed), and why not.
struct Outcome {
    bool ok = true;
    QString why;
    explicit operator bool() const { return ok; }
};

// A refused or failed change leaves the old file as it was.
Outcome Write(const QString& hostPath, QStringView section, QStringView key, QStringView value);
// Removing a section that is not there, or from a file that is not there,
// needs nothing and succeeds.
Outcome DeleteSection(const QString& hostPath, QStringView section);

// Drops every parsed file (tests and benchmarks use it to measure a cold read).
// All calls come from one thread.
void ForgetCache();

} // namespace platform::profile
