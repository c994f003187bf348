#include "platform/share/FolderListing.h"

#include "platform/share/Bounded.h"

#include <QFile>

#include <utility>

namespace platform {
namespace {

// Links are followed: a link to a file lists as that file, and one that
// leads nowhere keeps the link's own type, so it is left out.
constexpr char kAttributes[] = G_FILE_ATTRIBUTE_STANDARD_NAME
    "," G_FILE_ATTRIBUTE_STANDARD_TYPE "," G_FILE_ATTRIBUTE_STANDARD_SIZE
    "," G_FILE_ATTRIBUTE_TIME_MODIFIED "," G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC;
constexpr int kBatch = 256;

struct Run {
    Bounded* bounded;
    GFileEnumerator* enumerator = nullptr;
    GList* infos = nullptr;
    GError* error = nullptr;
};

// A call that answered late is told as the deadline, unless what it said
// was more than its cancellation.
QString Why(const QString& folder, const GError* error, int boundMs) {
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_FOUND))
        return QStringLiteral("The folder %1 does not exist.").arg(folder);
    if (g_error_matches(error, G_IO_ERROR, G_IO_ERROR_NOT_DIRECTORY))
        return QStringLiteral("%1 is not a folder.").arg(folder);
    if (error && !g_error_matches(error, G_IO_ERROR, G_IO_ERROR_CANCELLED))
        return QStringLiteral("The folder %1 cannot be listed: %2")
            .arg(folder, QString::fromUtf8(error->message));
    return QStringLiteral("The folder %1 did not answer within %2 seconds.")
        .arg(folder)
        .arg((boundMs + 999) / 1000);
}

} // namespace

std::optional<QList<ListedFile>> ListFiles(const QString& folder, int boundMs, QString* why) {
    Bounded bounded(boundMs);
    // For a folder in GVfs's FUSE view, GIO asks GVfs's daemon for the
    // share's own address, so the listing is one request to the share.
    GRef<GFile> dir(g_file_new_for_path(QFile::encodeName(folder).constData()));
    Run run{&bounded};
    g_file_enumerate_children_async(
        dir.get(), kAttributes, G_FILE_QUERY_INFO_NONE, G_PRIORITY_DEFAULT, bounded.cancellable(),
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<Run*>(data);
            r->enumerator = g_file_enumerate_children_finish(G_FILE(source), result, &r->error);
            r->bounded->finish();
        },
        &run);
    // A listing cut short is no listing: its missing files would look deleted.
    const auto fail = [&](bool answered) -> std::optional<QList<ListedFile>> {
        if (why)
            *why = Why(folder, answered ? run.error : nullptr, boundMs);
        g_clear_error(&run.error);
        return std::nullopt;
    };
    if (const bool answered = bounded.wait(); !answered || !run.enumerator)
        return fail(answered);
    GRef<GFileEnumerator> enumerator(run.enumerator);

    QList<ListedFile> files;
    for (;;) {
        g_file_enumerator_next_files_async(
            enumerator.get(), kBatch, G_PRIORITY_DEFAULT, bounded.cancellable(),
            [](GObject* source, GAsyncResult* result, gpointer data) {
                auto* r = static_cast<Run*>(data);
                r->infos = g_file_enumerator_next_files_finish(G_FILE_ENUMERATOR(source), result,
                                                               &r->error);
                r->bounded->finish();
            },
            &run);
        if (const bool answered = bounded.wait(); !answered || run.error)
            return fail(answered);
        if (!run.infos)
            break;
        for (GList* at = run.infos; at; at = at->next) {
            auto* info = G_FILE_INFO(at->data);
            if (g_file_info_get_file_type(info) != G_FILE_TYPE_REGULAR)
                continue;
            const qint64 seconds =
                qint64(g_file_info_get_attribute_uint64(info, G_FILE_ATTRIBUTE_TIME_MODIFIED));
            const qint64 usec =
                g_file_info_get_attribute_uint32(info, G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC);
            files.append({QFile::decodeName(g_file_info_get_name(info)),
                          qint64(g_file_info_get_size(info)), seconds * 1000 + usec / 1000});
        }
        g_list_free_full(std::exchange(run.infos, nullptr), g_object_unref);
    }
    return files;
}

} // namespace platform
