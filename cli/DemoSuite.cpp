#include "cli/DemoSuite.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace cli {
namespace {

struct Set {
    const char* root; // C: or N:
    const char* name; // LOCAL or NETWORK
};

// The directories of a set, under its drive.
const char* const kDirs[][2] = {
    {"QXADATADIR", "\\QXDATA\\APPRAISE"},
    {"QXPPDATADIR", "\\QXDATA\\PHOTOPLUS"},
    {"QXPPPHOTODIR", "\\QXDATA\\PHOTOPLUS\\JPG"},
    {"APEXDATADIR", "\\QXDATA\\APEX"},
    {"QXPDATADIR", "\\QXDATA\\PHOTOS"},
    {"QXPPHOTODIR", "\\QXDATA\\PHOTOS\\JPG"},
    {"QXCDATADIR", "\\QXDATA\\COMPS"},
    {"QXODATADIR", "\\QXDATA\\OFFICE"},
    {"QXSDATADIR", "\\QXDATA\\SKETCH"},
    {"OPLDATADIR", "\\QXDATA\\OFFICEPLUS"},
};

QByteArray StoredSet(const char* section, const char* drive) {
    QByteArray out = "[" + QByteArray(section) + "]\r\n";
    for (const auto& d : kDirs)
        out += QByteArray(d[0]) + '=' + drive + d[1] + "\r\n";
    return out + "\r\n";
}

// A product file as the suite leaves it at the office: on the NETWORK set,
// with a few keys of its own that a switch must not touch.
QByteArray Product(const QByteArray& title, const QByteArray& directories) {
    return "; " + title + "\r\n[Directories]\r\n" + directories +
           "\r\n[Options]\r\nWindowState=2\r\nLastUser=Demo\r\n";
}

// Makes the demo's files and folders below `root` without following a link
// found there: the folder may have been prepared by someone else, and a link
// in it could send a write anywhere this user may write.
class Builder {
public:
    explicit Builder(QString root) : root_(std::move(root)) {
        const QByteArray path = QFile::encodeName(root_);
        QDir().mkpath(QFileInfo(root_).absolutePath());
        ::mkdir(path.constData(), 0777);
        // The folder named itself may be a link to a folder; a dangling one,
        // or one to something else, is refused.
        fd_ = ::open(path.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        if (fd_ < 0)
            fail({});
    }
    ~Builder() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    Builder(const Builder&) = delete;
    Builder& operator=(const Builder&) = delete;

    void dir(const QString& rel) {
        if (const int fd = openDir(rel); fd >= 0)
            ::close(fd);
    }
    void link(const QString& rel, const QString& target) {
        const int at = openDir(QFileInfo(rel).path());
        if (at < 0)
            return;
        if (::symlinkat(QFile::encodeName(target).constData(), at, name(rel)) != 0 &&
            errno != EEXIST) // one there already, of any kind, is left as it is
            fail(rel);
        ::close(at);
    }
    // `mtime` (seconds since the epoch, 0: now) is given to a file made here.
    void file(const QString& rel, const QByteArray& bytes, qint64 mtime = 0) {
        const int at = openDir(QFileInfo(rel).path());
        if (at < 0)
            return;
        const int fd =
            ::openat(at, name(rel), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        struct stat st {};
        if (fd < 0 &&
            !(errno == EEXIST && ::fstatat(at, name(rel), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
              S_ISREG(st.st_mode)))
            fail(rel); // a link, or no room
        if (fd >= 0) {
            const bool whole = ::write(fd, bytes.constData(), size_t(bytes.size())) == bytes.size();
            const struct timespec times[2] = {{mtime, 0}, {mtime, 0}};
            if (mtime > 0)
                ::futimens(fd, times);
            if (::close(fd) != 0 || !whole)
                fail(rel);
        }
        ::close(at);
    }
    QString error() const { return error_; }

private:
    const char* name(const QString& rel) {
        name_ = QFile::encodeName(QFileInfo(rel).fileName());
        return name_.constData();
    }
    // The folder `rel`, made where missing, step by step; -1 when a step is
    // not a folder of its own (a link) or cannot be made.
    int openDir(const QString& rel) {
        if (fd_ < 0)
            return -1;
        int at = ::dup(fd_);
        QString done;
        for (const QString& part : rel.split(u'/', Qt::SkipEmptyParts)) {
            if (part == u".")
                continue;
            done += (done.isEmpty() ? QString() : QStringLiteral("/")) + part;
            const QByteArray p = QFile::encodeName(part);
            ::mkdirat(at, p.constData(), 0777);
            const int next =
                ::openat(at, p.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            ::close(at);
            if (next < 0) {
                fail(done);
                return -1;
            }
            at = next;
        }
        return at;
    }
    void fail(const QString& rel) {
        if (error_.isEmpty()) {
            const QString path = rel.isEmpty() ? root_ : root_ + u'/' + rel;
            error_ =
                QFileInfo(path).isSymLink()
                    ? QStringLiteral("%1 is a symbolic link: nothing is made through one; give a "
                                     "new or empty folder")
                          .arg(path)
                    : QStringLiteral("cannot create %1").arg(path);
        }
    }
    QString root_;
    int fd_ = -1;
    QString error_;
    QByteArray name_;
};

} // namespace

QString BuildDemoSuite(const QString& hostDir) {
    // Only a folder of our own is completed: in a real prefix the demo's
    // files would sit beside (and, by case, shadow) the suite's own.
    const QString stamp = QStringLiteral(".quarn-demo");
    const QDir dir(hostDir);
    if (dir.exists() && !dir.isEmpty(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden) &&
        !dir.exists(stamp))
        return QStringLiteral("%1 is not empty and holds no demo suite; give a new or empty folder")
            .arg(hostDir);
    Builder b(hostDir);
    b.file(stamp, "A demo suite built by quarnctl demo-suite.\n");
    b.dir(QStringLiteral("dosdevices"));
    b.dir(QStringLiteral("drive_c/windows/system32"));
    b.dir(QStringLiteral("network"));
    b.link(QStringLiteral("dosdevices/c:"), QStringLiteral("../drive_c"));
    b.link(QStringLiteral("dosdevices/n:"), QStringLiteral("../network"));

    const QString local = QStringLiteral("drive_c/QXDATA/");
    const QString network = QStringLiteral("network/QXDATA/");
    for (const QString& side : {local, network})
        for (const char* sub : {"APPRAISE/data", "PHOTOPLUS/JPG", "APEX", "PHOTOS/JPG", "COMPS",
                                "OFFICE", "SKETCH", "OFFICEPLUS"})
            b.dir(side + QLatin1String(sub));

    b.file(QStringLiteral("drive_c/VALUATOR/QUARN2.INI"),
           StoredSet("LOCAL", "C:") + StoredSet("NETWORK", "N:") +
               "[PREFERENCES]\r\nCOPYLOCAL2NETWORK=1\r\nCOPYNETWORK2LOCAL=0\r\n");
    const QByteArray n = "N:\\QXDATA\\";
    b.file(QStringLiteral("drive_c/VALUATOR/kav.ini"),
           Product("Appraisals", "DataDir=" + n + "APPRAISE\r\nAPPDIR=C:\\KAV\\\r\n"));
    b.file(QStringLiteral("drive_c/VALUATOR/QXP2000.INI"),
           Product("Photos Plus",
                   "DataDir=" + n + "PHOTOPLUS\r\nPhotoDir=" + n + "PHOTOPLUS\\JPG\r\n"));
    b.file(QStringLiteral("drive_c/VALUATOR/PHOTOKPR.INI"),
           Product("Photos", "DataDir=" + n + "PHOTOS\r\nPhotoDir=" + n + "PHOTOS\\JPG\r\n"));
    b.file(QStringLiteral("drive_c/VALUATOR/COMPKPR.INI"),
           Product("Comps", "DataDir=" + n + "COMPS\r\n"));
    b.file(QStringLiteral("drive_c/VALUATOR/OFCKPR.INI"),
           Product("Office", "AppDir=" + n + "OFFICE\r\nDataDir=" + n + "OFFICE\r\nUserDir=" + n +
                                 "OFFICE\r\n"));
    b.file(QStringLiteral("drive_c/VALUATOR/DRAWKIT.INI"),
           Product("Sketches", "DataDir=" + n + "SKETCH\r\n"));
    b.file(QStringLiteral("drive_c/VALUATOR/OPL.INI"),
           Product("Office Plus", "DataDir=" + n + "OFFICEPLUS\r\n"));
    b.dir(QStringLiteral("drive_c/KAV"));

    // Reports with their sketches, on both sides.
    const auto report = [&](const QString& side, const char* name, const char* sketch) {
        b.file(side + QStringLiteral("APPRAISE/data/%1.RPT").arg(QLatin1String(name)),
               "Demo appraisal report " + QByteArray(name) + "\r\n");
        const bool apex = QByteArray(sketch) == ".AX4";
        b.file(side + (apex ? QStringLiteral("APEX/") : QStringLiteral("SKETCH/")) +
                   QLatin1String(name) + QLatin1String(sketch),
               "Demo sketch of " + QByteArray(name) + "\r\n");
    };
    report(local, "SMITH", ".sk3");
    report(local, "JONES", ".AX4");
    report(network, "BROWN", ".sk3");
    report(network, "BROWN", ".AX4");
    report(network, "GARCIA", ".AX4");

    // Two more on both sides, for Synchronize Reports: one the same, one
    // changed on each side since it was copied (no record says which is newer).
    const qint64 now = QDateTime::currentSecsSinceEpoch();
    const auto filled = [](const char* what, int lines) {
        QByteArray text = "Demo appraisal report " + QByteArray(what) + "\r\n";
        for (int i = 0; i < lines; ++i)
            text += "Comparable " + QByteArray::number(i + 1) +
                    ": 123 Main Street, sold for 245,000, adjusted 3,500 for the garage\r\n";
        return text;
    };
    for (const QString& side : {local, network}) {
        b.file(side + QStringLiteral("APPRAISE/data/TAYLOR.RPT"), filled("TAYLOR", 300),
               now - 3 * 86400);
        b.file(side + QStringLiteral("SKETCH/TAYLOR.sk3"), "Demo sketch of TAYLOR\r\n",
               now - 3 * 86400);
    }
    b.file(local + QStringLiteral("APPRAISE/data/WILSON.RPT"), filled("WILSON", 420), now - 7200);
    b.file(local + QStringLiteral("SKETCH/WILSON.sk3"), "Demo sketch of WILSON, porch added\r\n",
           now - 7200);
    b.file(network + QStringLiteral("APPRAISE/data/WILSON.RPT"), filled("WILSON", 380),
           now - 86400);
    b.file(network + QStringLiteral("SKETCH/WILSON.sk3"), "Demo sketch of WILSON\r\n", now - 86400);
    return b.error();
}

} // namespace cli
