// ParseFileName on any text: upper-case outputs that put the path back
// together, never a crash.

#include "FuzzCheck.h"
#include "config/ModCommon.h"

#include <QString>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString path = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    QString drive, dir, name, ext;
    ModCommon::ParseFileName(path, drive, dir, name, ext);

    const QString work = ModCommon::UCase(ModCommon::Trim(path));
    for (const QString* part : {&drive, &dir, &name, &ext})
        Check(*part == ModCommon::UCase(*part));
    Check(drive.isEmpty() || (drive.size() == 2 && drive[1] == u':'));
    Check(dir.isEmpty() || dir.endsWith(u'\\'));
    Check(!name.contains(u'\\') && !name.contains(u'.') && !dir.contains(u'.'));

    // drive + what follows the first "]" is the directory, name and extension.
    QString rest = work.mid(drive.size());
    if (const qsizetype b = rest.indexOf(u']'); b >= 0)
        rest = rest.mid(b + 1);
    const QString joined = dir + name + (rest.contains(u'.') ? u'.' + ext : QString());
    Check(joined == rest);
    return 0;
}
