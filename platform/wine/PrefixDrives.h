#pragma once
// The office share inside the prefix in force: a drive letter and a
// \\server\share that both lead to the host folder where the share is
// mounted, and the drive marked as a network drive in the prefix's registry.
// Links are replaced by renaming a new one over them, so the prefix never
// lacks a drive it had nor holds a half-made link.

#include <QString>

namespace platform {

// What dosdevices/<letter>: leads to now (the link's text as written), ""
// when there is no such link. `letter`: "N:", "n:" or "N".
QString DriveTarget(const QString& letter);

// Links dosdevices/<letter>: and dosdevices/unc/<server>/<share> to `folder`
// (a host path, made absolute). A link that leads elsewhere is replaced only
// with `replace`; something there that is not a link (a folder, a file) never
// is. Server and share are matched without regard to case, as Wine looks
// them up, so an existing unc/<Server>/<SHARE> is reused. Where the second
// link cannot be made, the first is put back as it was.
struct LinkOutcome {
    bool done = false;
    // Not done because a link leads elsewhere: its text, the drive's and the
    // share's (dosdevices/unc/<server>/<share>) each.
    QString taken, uncTaken;
    QString why; // not done for another reason: in words
};
LinkOutcome LinkShare(const QString& letter, const QString& server, const QString& share,
                      const QString& folder, bool replace);
// What LinkShare would find in the way, changing nothing: done when nothing is.
LinkOutcome LinksInTheWay(const QString& letter, const QString& server, const QString& share,
                          const QString& folder);

// Removes the two links, each only where it still leads to `folder`: a link
// the user changed since stays. `previous` and `previousUnc` (the links
// LinkShare replaced) are put back in their place when given. "" when done,
// else why not.
QString UnlinkShare(const QString& letter, const QString& server, const QString& share,
                    const QString& folder, const QString& previous = {},
                    const QString& previousUnc = {});
// The drive's link alone, as UnlinkShare takes it.
QString UnlinkDrive(const QString& letter, const QString& folder, const QString& previous = {});

// Marks the drive as a network drive (HKLM\Software\Wine\Drives, "n:" =
// "network") or takes the mark away, through the prefix's own `reg`, so that
// a running wineserver takes it in. Taking away a mark the saved registry
// does not hold counts as done. A `reg` that has not ended after the bound
// (60 s) is killed.
struct MarkOutcome {
    bool done = false;
    bool noWine = false; // the Wine this prefix needs is not installed: nothing ran
    QString why;         // otherwise, what went wrong
};
MarkOutcome MarkNetworkDrive(const QString& letter, bool network);

// Whether a wineserver runs for the prefix in force (it holds the prefix's
// folder open). Wine takes in a drive linked meanwhile only once it starts
// again.
bool WineServerRuns();

// Tests shorten the bound on `reg`.
void SetMarkBoundForTest(int ms);

} // namespace platform
