#include "platform/share/ShareMount.h"

#include "platform/share/Bounded.h"
#include "platform/share/DriveMount.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QThread>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <mutex>
#include <optional>
#include <system_error>
#include <thread>

namespace platform {
namespace {

QString Escaped(const QString& part) {
    const GText escaped(g_uri_escape_string(part.toUtf8().constData(), nullptr, FALSE), g_free);
    return QString::fromUtf8(escaped.get());
}

// The user (and domain) go into the address, so GVfs keeps one mount and one
// keyring entry per login.
QByteArray Uri(const ShareAddress& a, const QString& user, const QString& domain) {
    QString login;
    if (!user.isEmpty())
        login = (domain.isEmpty() ? QString() : Escaped(domain) + u';') + Escaped(user) + u'@';
    return (QStringLiteral("smb://") + login + a.server + u'/' + Escaped(a.share)).toUtf8();
}

struct MountRun {
    Bounded* bounded;
    ShareLogin login;
    int asks = 0;
    bool noPassword = false;
    GError* error = nullptr;
};

void OnAskPassword(GMountOperation* op, const char*, const char*, const char*,
                   GAskPasswordFlags flags, gpointer data) {
    auto* run = static_cast<MountRun*>(data);
    const ShareLogin& login = run->login;
    // Asked again: the answer given was turned down.
    if (++run->asks > 1)
        return g_mount_operation_reply(op, G_MOUNT_OPERATION_ABORTED);
    if (login.user.isEmpty() && (flags & G_ASK_PASSWORD_ANONYMOUS_SUPPORTED)) {
        g_mount_operation_set_anonymous(op, TRUE);
        return g_mount_operation_reply(op, G_MOUNT_OPERATION_HANDLED);
    }
    if (login.password.isEmpty()) {
        run->noPassword = true;
        return g_mount_operation_reply(op, G_MOUNT_OPERATION_ABORTED);
    }
    g_mount_operation_set_username(op, login.user.toUtf8().constData());
    if (!login.domain.isEmpty())
        g_mount_operation_set_domain(op, login.domain.toUtf8().constData());
    g_mount_operation_set_password(op, login.password.toUtf8().constData());
    g_mount_operation_set_password_save(op, login.remember ? G_PASSWORD_SAVE_PERMANENTLY
                                                           : G_PASSWORD_SAVE_NEVER);
    g_mount_operation_reply(op, G_MOUNT_OPERATION_HANDLED);
}

// GVfs tells the SMB client's failure as "…: <strerror>" and nothing more.
bool Says(const GError* error, int errnum) {
    return QString::fromUtf8(error->message).endsWith(QString::fromUtf8(g_strerror(errnum)));
}

MountFailure Classify(const MountRun& run, const Bounded& bounded) {
    const GError* e = run.error;
    if (bounded.timedOut() || g_error_matches(e, G_IO_ERROR, G_IO_ERROR_TIMED_OUT))
        return MountFailure::NoAnswer;
    if (run.noPassword || (run.asks > 1 && run.login.password.isEmpty()))
        return MountFailure::PasswordNeeded;
    if (run.asks > 1 || g_error_matches(e, G_IO_ERROR, G_IO_ERROR_PERMISSION_DENIED) ||
        Says(e, EACCES) || Says(e, EPERM))
        return MountFailure::WrongPassword;
    if (g_error_matches(e, G_IO_ERROR, G_IO_ERROR_NOT_SUPPORTED))
        return MountFailure::NoGvfs;
    if (g_error_matches(e, G_IO_ERROR, G_IO_ERROR_NOT_FOUND) || Says(e, ENOENT) || Says(e, ENODEV))
        return MountFailure::NoSuchShare;
    if (Says(e, ECONNREFUSED) || Says(e, ECONNABORTED) || Says(e, ECONNRESET) ||
        Says(e, EPROTONOSUPPORT) || Says(e, EPROTO))
        return MountFailure::ProtocolRefused;
    if (Says(e, ETIMEDOUT) || Says(e, EHOSTUNREACH) || Says(e, ENETUNREACH) || Says(e, EHOSTDOWN))
        return MountFailure::NoAnswer;
    return MountFailure::Other;
}

// Whether the name resolves; true also when the resolver cannot tell (the
// mount then says what it finds).
bool Resolves(const QString& server, Bounded& bounded) {
    if (g_hostname_is_ip_address(server.toUtf8().constData()))
        return true;
    struct Lookup {
        Bounded* bounded;
        bool notFound = false;
    } lookup{&bounded};
    GRef<GResolver> resolver(g_resolver_get_default());
    g_resolver_lookup_by_name_async(
        resolver.get(), server.toUtf8().constData(), bounded.cancellable(),
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* l = static_cast<Lookup*>(data);
            GError* error = nullptr;
            if (GList* found = g_resolver_lookup_by_name_finish(G_RESOLVER(source), result, &error))
                g_resolver_free_addresses(found);
            l->notFound = g_error_matches(error, G_RESOLVER_ERROR, G_RESOLVER_ERROR_NOT_FOUND);
            g_clear_error(&error);
            l->bounded->finish();
        },
        &lookup);
    if (!bounded.wait())
        return true;
    return !lookup.notFound;
}

// Whether `folder` is a FUSE mount of GVfs's, as /proc/self/mountinfo tells.
bool IsGvfsFuseFolder(const QString& folder) {
    QFile mounts(QStringLiteral("/proc/self/mountinfo"));
    if (!mounts.open(QIODevice::ReadOnly))
        return false;
    static const QRegularExpression escape(QStringLiteral(R"(\\([0-7]{3}))"));
    for (const QByteArray& line : mounts.readAll().split('\n')) {
        const QList<QByteArray> fields = line.split(' ');
        const qsizetype dash = fields.indexOf("-");
        if (fields.size() < 5 || dash < 0 || dash + 1 >= fields.size())
            continue;
        QString point = QString::fromUtf8(fields[4]);
        for (auto m = escape.match(point); m.hasMatch(); m = escape.match(point))
            point.replace(m.capturedStart(), 4, QChar(m.captured(1).toInt(nullptr, 8)));
        if (point == folder && fields[dash + 1].startsWith("fuse"))
            return true;
    }
    return false;
}

// The mount's root as a host path, "" when it has none a program can use.
QString HostFolder(GMount* mount) {
    GRef<GFile> root(g_mount_get_root(mount));
    const GText path(g_file_get_path(root.get()), g_free);
    if (!path)
        return {};
    const QString folder = QString::fromUtf8(path.get());
    return IsGvfsFuseFolder(folder.section(u'/', 0, -2)) ? folder : QString();
}

// GIO's first use asks gvfsd what it can mount, and D-Bus waits 25 seconds
// for a gvfsd that hangs. So gvfsd is pinged first, within `boundMs`; GIO is
// then set up on this thread (set up on another, a later mount leaks what
// it made there). False when gvfsd is there and did not answer.
bool GvfsAnswers(qint64 boundMs) {
    static std::atomic<bool> ready{false};
    if (ready)
        return true;
    GError* error = nullptr;
    if (GDBusConnection* bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error)) {
        GVariant* reply = g_dbus_connection_call_sync(
            bus, "org.gtk.vfs.Daemon", "/", "org.freedesktop.DBus.Peer", "Ping", nullptr, nullptr,
            G_DBUS_CALL_FLAGS_NONE, int(std::clamp<qint64>(boundMs, 1, 60000)), nullptr, &error);
        if (reply)
            g_variant_unref(reply);
        g_object_unref(bus);
    }
    // No session bus, or no gvfsd to start: GIO finds that at once too.
    const bool silent = g_error_matches(error, G_IO_ERROR, G_IO_ERROR_TIMED_OUT);
    g_clear_error(&error);
    if (silent)
        return false;
    g_vfs_get_default();
    ready = true;
    return true;
}

// GVfs's client also asks gvfsd, and waits, for the mount a file is on:
// such asks run on a thread of their own, for at most `boundMs`. False when
// it did not answer, and at once while an earlier one still hangs; `ask`
// keeps to what it holds itself.
bool AskGvfs(qint64 boundMs, std::function<void()> ask) {
    struct Pending {
        std::mutex mutex;
        std::condition_variable done;
        bool answered = false;
    };
    static std::atomic<bool> hanging{false};
    if (hanging)
        return false;
    const auto pending = std::make_shared<Pending>();
    try {
        std::thread([pending, ask = std::move(ask)] {
            ask();
            const std::lock_guard hold(pending->mutex);
            pending->answered = true;
            hanging = false;
            pending->done.notify_all();
        }).detach();
    } catch (const std::system_error&) {
        return false;
    }
    std::unique_lock hold(pending->mutex);
    if (pending->done.wait_for(hold, std::chrono::milliseconds(std::max<qint64>(boundMs, 0)),
                               [&] { return pending->answered; }))
        return true;
    hanging = true;
    return false;
}

// A look at what is mounted, as Quarn's status and following take it.
constexpr qint64 kLookMs = 5000;

// The mount `uri` is on (null: none); nullopt when GVfs did not answer.
std::optional<GRef<GMount>> FindMount(const QByteArray& uri, qint64 boundMs) {
    QElapsedTimer clock;
    clock.start();
    if (!GvfsAnswers(boundMs))
        return std::nullopt;
    const auto mount = std::make_shared<GRef<GMount>>();
    if (!AskGvfs(boundMs - clock.elapsed(), [mount, uri] {
            GRef<GFile> file(g_file_new_for_uri(uri.constData()));
            mount->reset(g_file_find_enclosing_mount(file.get(), nullptr, nullptr));
        }))
        return std::nullopt;
    return std::move(*mount);
}

QString Unmount(GMount* mount, Bounded& bounded) {
    struct Run {
        Bounded* bounded;
        GError* error = nullptr;
    } run{&bounded};
    g_mount_unmount_with_operation(
        mount, G_MOUNT_UNMOUNT_NONE, nullptr, bounded.cancellable(),
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<Run*>(data);
            g_mount_unmount_with_operation_finish(G_MOUNT(source), result, &r->error);
            r->bounded->finish();
        },
        &run);
    if (!bounded.wait())
        return QStringLiteral("the share did not answer");
    const QString why = run.error ? QString::fromUtf8(run.error->message) : QString();
    g_clear_error(&run.error);
    return why;
}

} // namespace

QString ShareAddress::unc() const {
    return QStringLiteral("\\\\") + server + u'\\' + share;
}

std::optional<ShareAddress> ParseShareAddress(const QString& text, QString* why) {
    const auto refuse = [why](const QString& reason) -> std::optional<ShareAddress> {
        if (why)
            *why = reason;
        return std::nullopt;
    };
    QString t = text.trimmed();
    if (t.startsWith(u"smb://", Qt::CaseInsensitive))
        t = t.mid(6);
    else if (t.startsWith(u"\\\\") || t.startsWith(u"//"))
        t = t.mid(2);
    else
        return refuse(
            QStringLiteral("A share is written \\\\server\\share or smb://server/share."));
    t.replace(u'\\', u'/');
    while (t.endsWith(u'/'))
        t.chop(1);
    const QStringList parts = t.split(u'/');
    if (parts.size() != 2 || parts[0].isEmpty() || parts[1].isEmpty())
        return refuse(QStringLiteral("A share is named by its server and its share, and nothing "
                                     "more: \\\\server\\share."));
    static const QRegularExpression server(QStringLiteral(R"(^[A-Za-z0-9._-]+$)"));
    if (!server.match(parts[0]).hasMatch())
        return refuse(QStringLiteral("\"%1\" is not a server's name.").arg(parts[0]));
    // What Windows refuses in a share's name.
    static const QRegularExpression share(QStringLiteral(R"([\x00-\x1f"/\\\[\]:|<>+=;,*?])"));
    if (share.match(parts[1]).hasMatch())
        return refuse(QStringLiteral("\"%1\" is not a share's name.").arg(parts[1]));
    return ShareAddress{parts[0], parts[1]};
}

namespace {

// Whether GVfs can mount SMB shares here. Without an SMB backend it still
// has its own trash: a desktop that did not install gvfs-backends, as KDE's
// need not.
MountFailure GvfsMountsSmb(qint64 boundMs) {
    if (!GvfsAnswers(boundMs))
        return MountFailure::NoGvfs;
    bool smb = false, trash = false;
    const gchar* const* schemes = g_vfs_get_supported_uri_schemes(g_vfs_get_default());
    for (; schemes && *schemes; ++schemes) {
        smb = smb || g_strcmp0(*schemes, "smb") == 0;
        trash = trash || g_strcmp0(*schemes, "trash") == 0;
    }
    return trash && !smb ? MountFailure::NoSmbBackend : MountFailure::None;
}

MountOutcome MountGvfs(const ShareAddress& share, const ShareLogin& login, int boundMs) {
    Bounded bounded(boundMs);
    MountOutcome out;
    if ((out.failure = GvfsMountsSmb(boundMs)) != MountFailure::None) {
        out.ms = bounded.elapsed();
        return out;
    }
    const QByteArray uri = Uri(share, login.user, login.domain);
    if (!Resolves(share.server, bounded) || bounded.timedOut()) {
        out.failure = bounded.timedOut() ? MountFailure::NoAnswer : MountFailure::UnknownServer;
        out.ms = bounded.elapsed();
        return out;
    }
    GRef<GFile> file(g_file_new_for_uri(uri.constData()));
    GRef<GMountOperation> op(g_mount_operation_new());
    MountRun run{&bounded, login};
    const gulong asked =
        g_signal_connect(op.get(), "ask-password", G_CALLBACK(OnAskPassword), &run);
    g_file_mount_enclosing_volume(
        file.get(), G_MOUNT_MOUNT_NONE, op.get(), bounded.cancellable(),
        [](GObject* source, GAsyncResult* result, gpointer data) {
            auto* r = static_cast<MountRun*>(data);
            g_file_mount_enclosing_volume_finish(G_FILE(source), result, &r->error);
            r->bounded->finish();
        },
        &run);
    const bool answered = bounded.wait();
    g_signal_handler_disconnect(op.get(), asked);
    out.ms = bounded.elapsed();
    if (!answered) {
        out.failure = MountFailure::NoAnswer;
        return out; // the call may still answer later: `run` must not be read again
    }
    const bool already = g_error_matches(run.error, G_IO_ERROR, G_IO_ERROR_ALREADY_MOUNTED);
    if (run.error && !already) {
        out.failure = Classify(run, bounded);
        out.detail = QString::fromUtf8(run.error->message);
        g_clear_error(&run.error);
        return out;
    }
    g_clear_error(&run.error);
    out.mountedHere = !already;
    const auto found = FindMount(uri, std::max<qint64>(1000, boundMs - bounded.elapsed()));
    if (!found) {
        out.failure = MountFailure::NoGvfs;
        return out;
    }
    const GRef<GMount>& mount = *found;
    out.folder = mount ? HostFolder(mount.get()) : QString();
    if (out.folder.isEmpty()) {
        out.failure = MountFailure::NoFuseFolder;
        if (mount && out.mountedHere) { // nothing half made
            Bounded undoing(boundMs);
            Unmount(mount.get(), undoing);
        }
        out.mountedHere = false;
    }
    out.ms = bounded.elapsed();
    return out;
}

QString GvfsFolder(const ShareAddress& share, const QString& user, const QString& domain) {
    const auto mount = FindMount(Uri(share, user, domain), kLookMs);
    return mount && *mount ? HostFolder(mount->get()) : QString();
}

} // namespace

MountOutcome MountShare(const ShareAddress& share, const ShareLogin& login, int boundMs) {
    QElapsedTimer clock;
    clock.start();
    // A user's fstab mount takes at most half the bound, GVfs the rest.
    if (const QString kernel = KernelMount(share, boundMs / 2); !kernel.isEmpty()) {
        MountOutcome out;
        out.folder = kernel;
        out.kind = MountKind::Kernel;
        out.ms = clock.elapsed();
        return out;
    }
    MountOutcome gvfs =
        MountGvfs(share, login, std::max<int>(1000, boundMs - int(clock.elapsed())));
    if (gvfs.failure != MountFailure::None || !DriveMountAvailable())
        return gvfs;
    // GVfs has checked the login and kept a password to remember, and holds
    // the folder Quarn's own copies take; the suite's drive is rclone's.
    // GVfs's FUSE folder takes in a new mount a moment after GVfs made it.
    while (!QFileInfo(gvfs.folder).isDir() && clock.elapsed() < boundMs)
        QThread::msleep(50);
    MountOutcome drive =
        MountDrive(share, login, std::max<int>(3000, boundMs - int(clock.elapsed())), gvfs.folder,
                   gvfs.mountedHere);
    if (drive.failure != MountFailure::None && gvfs.mountedHere) {
        Bounded undoing(boundMs);
        if (const auto mount = FindMount(Uri(share, login.user, login.domain), boundMs);
            mount && *mount)
            Unmount(mount->get(), undoing);
    }
    drive.kind = MountKind::Drive;
    drive.ms = clock.elapsed();
    return drive;
}

QString MountedFolder(const ShareAddress& share, const QString& user, const QString& domain) {
    if (const QString kernel = KernelMounted(share); !kernel.isEmpty())
        return kernel;
    if (DriveMountAvailable()) {
        // Without the folder Quarn's own copies take, it is to be made again.
        const QString folder = DriveMountFolder(share, user, domain);
        const QString direct = folder + QStringLiteral(".direct");
        return DriveMounted(folder) && (!QFileInfo(direct).isSymLink() ||
                                        !GvfsFolder(share, user, domain).isEmpty())
                   ? folder
                   : QString();
    }
    return GvfsFolder(share, user, domain);
}

QString MountIdentity(const QString& folder) {
    if (KindOf(folder) != MountKind::Gvfs)
        return MountInfoIdentity(folder);
    GError* error = nullptr;
    GRef<GDBusConnection> bus(g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, &error));
    GVariant* reply = bus ? g_dbus_connection_call_sync(
                                bus.get(), "org.gtk.vfs.Daemon", "/org/gtk/vfs/mounttracker",
                                "org.gtk.vfs.MountTracker", "LookupMountByFusePath",
                                g_variant_new("(^ay)", QFile::encodeName(folder).constData()),
                                nullptr, G_DBUS_CALL_FLAGS_NO_AUTO_START, 2000, nullptr, &error)
                          : nullptr;
    g_clear_error(&error);
    QString identity;
    // ((dbus id, object path, ...)): unique names are never given twice on a bus.
    if (reply && g_variant_n_children(reply) == 1) {
        GVariant* mount = g_variant_get_child_value(reply, 0);
        if (g_variant_is_of_type(mount, G_VARIANT_TYPE_TUPLE) && g_variant_n_children(mount) > 1) {
            GVariant* id = g_variant_get_child_value(mount, 0);
            GVariant* path = g_variant_get_child_value(mount, 1);
            if (g_variant_is_of_type(id, G_VARIANT_TYPE_STRING) &&
                g_variant_is_of_type(path, G_VARIANT_TYPE_OBJECT_PATH))
                identity = QString::fromUtf8(g_variant_get_string(id, nullptr)) + u' ' +
                           QString::fromUtf8(g_variant_get_string(path, nullptr));
            g_variant_unref(id);
            g_variant_unref(path);
        }
        g_variant_unref(mount);
    }
    if (reply)
        g_variant_unref(reply);
    return identity;
}

QString UnmountShare(const ShareAddress& share, const QString& user, const QString& domain,
                     int boundMs) {
    // The drive's mount, and GVfs's beside it only when it was made with it.
    if (const QString folder = DriveMountFolder(share, user, domain);
        DriveMountAvailable() || DriveMounted(folder)) {
        bool gvfsToo = false;
        if (const QString why = UnmountDrive(folder, &gvfsToo); !why.isEmpty() || !gvfsToo)
            return why;
    }
    Bounded bounded(boundMs);
    const auto mount = FindMount(Uri(share, user, domain), boundMs);
    if (!mount)
        return QStringLiteral("GVfs did not answer");
    return *mount ? Unmount(mount->get(), bounded) : QString();
}

} // namespace platform
