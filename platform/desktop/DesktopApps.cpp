#include "platform/desktop/DesktopApps.h"

#include "platform/win/BoundedAsk.h"

#include <QMimeDatabase>

#include <gio/gio.h>

#include <memory>
#include <mutex>
#include <system_error>

namespace platform {
namespace {

// One that handles application/octet-stream alone would open anything.
bool AnyFileViewer(GAppInfo* app) {
    const char* const* types = g_app_info_get_supported_types(app);
    if (!types || !types[0])
        return false;
    for (; *types; ++types)
        if (qstrcmp(*types, "application/octet-stream") != 0)
            return false;
    return true;
}

// GIO's answer: the desktop's default for the first type that has one, its
// mimeapps.list defaults, additions and removals, and the applications
// that list the type, as the file manager finds them.
QString AskGio(const QStringList& types) {
    for (const QString& type : types) {
        GAppInfo* app = g_app_info_get_default_for_type(type.toUtf8().constData(), FALSE);
        if (!app)
            continue;
        const QString id =
            AnyFileViewer(app) ? QString() : QString::fromUtf8(g_app_info_get_id(app));
        g_object_unref(app);
        if (!id.isEmpty())
            return id;
    }
    return {};
}

} // namespace

QString DesktopApplicationFor(const QString& hostFile) {
    const QMimeType type = QMimeDatabase().mimeTypeForFile(hostFile);
    QStringList types{type.name()};
    types += type.aliases();
    types += type.allAncestors();
    types.removeAll(QStringLiteral("application/octet-stream"));
    if (types.isEmpty())
        return {};

    // GIO reads the desktop's files whatever they are: a named pipe in their
    // place would hold it for good, so it is asked on a thread of its own.
    struct Answer {
        std::mutex mutex;
        QString id;
    };
    const auto answer = std::make_shared<Answer>();
    try {
        const bool answered = RunWithinBound(
            QStringLiteral("desktop applications"),
            BoundClock::now() + std::chrono::milliseconds(AnswerBound()), [answer, types] {
                const QString id = AskGio(types);
                const std::lock_guard hold(answer->mutex);
                answer->id = id;
            });
        if (!answered)
            return {};
    } catch (const std::system_error&) {
        return {};
    }
    const std::lock_guard hold(answer->mutex);
    return answer->id;
}

} // namespace platform
