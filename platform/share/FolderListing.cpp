#include "platform/share/FolderListing.h"

#include "platform/share/Bounded.h"

#include <QFile>

#include <cstdlib>
#include <memory>
#include <utility>

namespace platform {
namespace {

// A link is told as one and never looked through: what it leads to may be
// another user's file.
constexpr char kAttributes[] = G_FILE_ATTRIBUTE_STANDARD_NAME
    "," G_FILE_ATTRIBUTE_STANDARD_TYPE "," G_FILE_ATTRIBUTE_STANDARD_IS_SYMLINK
    "," G_FILE_ATTRIBUTE_STANDARD_SIZE "," G_FILE_ATTRIBUTE_TIME_MODIFIED
    "," G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC;

// What the listing's thread hands back.
struct Listing {
    QList<ListedFile> files;
    GError* error = nullptr;
    ~Listing() { g_clear_error(&error); }
};

struct Run {
    Bounded* bounded;
    Listing* listing = nullptr;
};

// On a thread of GIO's, with GIO's synchronous calls: GVfs answers an
// asynchronous one for a mount it already knows in the program's default
// main context, which nobody runs here. The folder's links are resolved
// first: GIO knows a folder of GVfs's FUSE view by its own path there only,
// not through a link into it (a prefix's drive), and would ask the share
// for each file through FUSE.
void ListHere(GTask* task, gpointer, gpointer data, GCancellable* cancel) {
    const auto* path = static_cast<const char*>(data);
    auto* listing = new Listing;
    char* real = ::realpath(path, nullptr); // missing: listed as given, to say why
    GRef<GFile> dir(g_file_new_for_path(real ? real : path));
    ::free(real);
    GRef<GFileEnumerator> enumerator(g_file_enumerate_children(
        dir.get(), kAttributes, G_FILE_QUERY_INFO_NOFOLLOW_SYMLINKS, cancel, &listing->error));
    while (GFileInfo* info =
               enumerator ? g_file_enumerator_next_file(enumerator.get(), cancel, &listing->error)
                          : nullptr) {
        if (g_file_info_get_is_symlink(info)) {
            listing->files.append({QFile::decodeName(g_file_info_get_name(info)), 0, 0, true});
        } else if (g_file_info_get_file_type(info) == G_FILE_TYPE_REGULAR) {
            const qint64 seconds =
                qint64(g_file_info_get_attribute_uint64(info, G_FILE_ATTRIBUTE_TIME_MODIFIED));
            const qint64 usec =
                g_file_info_get_attribute_uint32(info, G_FILE_ATTRIBUTE_TIME_MODIFIED_USEC);
            listing->files.append({QFile::decodeName(g_file_info_get_name(info)),
                                   qint64(g_file_info_get_size(info)),
                                   seconds * 1000 + usec / 1000});
        }
        g_object_unref(info);
    }
    g_task_return_pointer(task, listing, [](gpointer p) { delete static_cast<Listing*>(p); });
}

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
    Run run{&bounded};
    GRef<GTask> task(g_task_new(
        nullptr, bounded.cancellable(),
        [](GObject*, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<Run*>(data);
            r->listing = static_cast<Listing*>(g_task_propagate_pointer(G_TASK(result), nullptr));
            r->bounded->finish();
        },
        &run));
    g_task_set_check_cancellable(task.get(), FALSE); // a cut listing says so itself
    g_task_set_task_data(task.get(), g_strdup(QFile::encodeName(folder).constData()), g_free);
    g_task_run_in_thread(task.get(), ListHere);
    // A listing cut short is no listing: its missing files would look deleted.
    const bool answered = bounded.wait();
    const std::unique_ptr<Listing> listing(answered ? run.listing : nullptr);
    if (!listing || listing->error) {
        if (why)
            *why = Why(folder, listing ? listing->error : nullptr, boundMs);
        return std::nullopt;
    }
    return std::move(listing->files);
}

} // namespace platform
