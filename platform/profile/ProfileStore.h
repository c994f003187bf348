#pragma once
// The profile-file store on host paths: the Windows profile functions'
// reading rules over IniDocument, a cache of parsed files checked against the
// file's identity, size and times, and atomic writes. Nothing stays open.

#include <QString>

#include <functional>
#include <optional>

namespace platform::profile {

// The value, or `def` (trailing blanks and a surrounding pair of quotes
// removed) when the file, section or key does not exist. Never creates a file.
QString Read(const QString& hostPath, QStringView section, QStringView key, QStringView def);

// Whether a change took effect (or was not needed), and why not.
struct Outcome {
    Outcome() = default;
    Outcome(bool done, QString reason = {}) : ok(done), why(std::move(reason)) {}
    bool ok = true;
    QString why;
    // WriteIfUnchanged: the value that another program wrote meanwhile, left
    // standing ("" for a key it removed).
    std::optional<QString> newer;
    explicit operator bool() const { return ok; }
};

// A refused or failed change leaves the old file as it was; one that would
// change nothing succeeds without touching it. Quarn's own writers of one
// file take turns; a change that another program makes while we edit is
// kept, the edit made again over it, and one that keeps changing it wins
// after eight retries ("The file is busy"). A writer that waits over five
// seconds for its turn fails and changes nothing (FileBusy). A file with
// more than one name (hard links) is written in place.
Outcome Write(const QString& hostPath, QStringView section, QStringView key, QStringView value);
// As Write, only while the key still reads `expected` (a missing key reads
// ""); else the file stays as it is and `newer` holds what the key reads.
Outcome WriteIfUnchanged(const QString& hostPath, QStringView section, QStringView key,
                         QStringView expected, QStringView value);
// Removing a section that is not there, or from a file that is not there,
// needs nothing and succeeds.
Outcome DeleteSection(const QString& hostPath, QStringView section);

// Runs just before a change is put in place, after its last flush; tests
// change the file there as another program would.
void SetBeforeReplace(std::function<void(const QString& hostPath)> hook);

// Drops every parsed file (tests and benchmarks use it to measure a cold read).
void ForgetCache();

} // namespace platform::profile
