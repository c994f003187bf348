#include "cli/DemoSuite.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

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

class Builder {
public:
    explicit Builder(QString root) : root_(std::move(root)) {}

    void dir(const QString& rel) {
        if (!QDir().mkpath(root_ + u'/' + rel))
            fail(rel);
    }
    void link(const QString& rel, const QString& target) {
        const QString path = root_ + u'/' + rel;
        if (QFileInfo(path).isSymLink() || QFileInfo::exists(path))
            return;
        if (::symlink(QFile::encodeName(target).constData(), QFile::encodeName(path).constData()) !=
            0)
            fail(rel);
    }
    void file(const QString& rel, const QByteArray& bytes) {
        const QString path = root_ + u'/' + rel;
        if (QFileInfo::exists(path))
            return;
        dir(QFileInfo(rel).path());
        QFile f(path);
        if (!f.open(QIODevice::WriteOnly) || f.write(bytes) != bytes.size())
            fail(rel);
    }
    QString error() const { return error_; }

private:
    void fail(const QString& rel) {
        if (error_.isEmpty())
            error_ = QStringLiteral("cannot create %1").arg(root_ + u'/' + rel);
    }
    QString root_;
    QString error_;
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
    return b.error();
}

} // namespace cli
