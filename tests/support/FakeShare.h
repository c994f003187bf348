#pragma once
// A throw-away prefix with the suite, and a folder of the test's standing in
// for GVfs's mount of the office share: what each mount gives and what was
// asked of it are the test's to set and read.

#include "office/OfficeShare.h"
#include "tests/support/TestPrefix.h"

#include <QFile>

#include <chrono>
#include <sys/stat.h>
#include <thread>

struct FakeShare {
    TestPrefix p;
    ScopedEnv env{{{"XDG_RUNTIME_DIR", p.at("run")}, {"PATH", p.at("bin")}}}; // no Wine
    Quarn_v2::SuiteState state;
    platform::MountFailure failure = platform::MountFailure::None;
    int mountMs = 0;
    bool mounted = false;
    int mounts = 0;      // made so far, by Quarn or by others: each mount's identity
    QStringList folders; // what the next mounts give, else mnt
    QList<platform::ShareLogin> logins;
    QStringList unmounted;
    bool told = true; // each mount's identity; not without GVfs's FUSE folder

    FakeShare() {
        p.makeDir(p.at("mnt/QXDATA"));
        p.write(p.prefix() + "/system.reg", "WINE REGISTRY Version 2\n"); // Wine made the prefix
        p.write(p.driveC() + "/VALUATOR/QUARN2.INI",
                "[LOCAL]\r\nQXADATADIR=C:\\L\r\n[NETWORK]\r\nQXADATADIR=N:\\A\r\n");
        p.makeDir(p.at("run"));
        ::chmod(QFile::encodeName(p.at("run")).constData(), 0700);
        Quarn_v2::InitialiseSuite(state);
        OfficeShare::SetMounterForTest(
            {[this](const platform::ShareAddress&, const platform::ShareLogin& login) {
                 std::this_thread::sleep_for(std::chrono::milliseconds(mountMs));
                 logins << login;
                 platform::MountOutcome out;
                 out.failure = failure;
                 out.detail = QStringLiteral("what GVfs said");
                 if (failure == platform::MountFailure::None) {
                     out.folder = folders.isEmpty() ? p.at("mnt") : folders.takeFirst();
                     out.mountedHere = !std::exchange(mounted, true);
                     mounts += out.mountedHere;
                 }
                 return out;
             },
             [this](const platform::ShareAddress&, const QString&, const QString&) {
                 return mounted ? p.at("mnt") : QString();
             },
             [this](const platform::ShareAddress& a, const QString&, const QString&) {
                 unmounted << a.unc();
                 mounted = false;
                 return QString();
             },
             [this](const QString&) {
                 return mounted && told ? QString::number(mounts) : QString();
             }});
    }
    ~FakeShare() { OfficeShare::SetMounterForTest({}); }
};
