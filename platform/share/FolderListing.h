#pragma once
// A folder's files with their sizes and times in one listing: through GIO,
// so that a folder on a GVfs mount is asked of the share once rather than
// once per file through the FUSE folder.

#include <QList>
#include <QString>

#include <optional>

namespace platform {

struct ListedFile {
    QString name;
    qint64 size = 0;
    qint64 mtimeMs = 0; // ms since the epoch
    bool link = false;  // a symbolic link, whatever it leads to (size and time then 0)
};

// The plain files of the host folder `folder` and its links of any kind (no
// folders), in no particular order; nullopt when the folder cannot be
// listed (missing, not a folder, no answer within `boundMs`), `why` saying so.
std::optional<QList<ListedFile>> ListFiles(const QString& folder, int boundMs = 5000,
                                           QString* why = nullptr);

} // namespace platform
