#pragma once
// HKEY_LOCAL_MACHINE as Wine keeps it: the prefix's system.reg, a text file
// of "[Key\\Path]" headers and "name"=value lines.

#include <QByteArray>
#include <QString>

#include <optional>

namespace platform {

struct RegistryValue {
    int type = 0;    // 1 text, 4 32-bit number, others as Windows numbers them
    QByteArray data; // as stored: text in UTF-8 without its end, numbers little-endian
};

// The value under a key of HKEY_LOCAL_MACHINE ("SOFTWARE\Microsoft\..."),
// names compared without regard to case; `name` "" is the key's default.
std::optional<RegistryValue> ReadMachineValue(const QString& key, const QString& name);

// The same, from the text of a system.reg (tests feed their own).
std::optional<RegistryValue> ReadRegistryText(const QByteArray& text, const QString& key,
                                              const QString& name);

} // namespace platform
