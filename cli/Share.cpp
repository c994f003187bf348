#include "cli/Share.h"

#include "cli/Quarnctl.h"
#include "office/OfficeShare.h"
#include "office/Texts.h"

#include <QCommandLineParser>

#include <cstdio>
#include <optional>
#include <termios.h>
#include <unistd.h>

namespace cli {
namespace {

// One line from standard input, without its line end; echo off on a terminal.
QString ReadPassword(bool prompt, const QString& question) {
    termios before{};
    const bool terminal = ::isatty(STDIN_FILENO) && ::tcgetattr(STDIN_FILENO, &before) == 0;
    if (terminal) {
        termios quiet = before;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
    }
    if (prompt)
        std::fprintf(stderr, "%s", qUtf8Printable(question));
    QByteArray line;
    for (int c; (c = std::fgetc(stdin)) != EOF && c != '\n';)
        line += char(c);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &before);
        std::fputc('\n', stderr);
    }
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

bool Asked(const QString& question) {
    return platform::MsgBox(question, platform::Buttons::YesNo, platform::Icon::Question) ==
           platform::Answer::Yes;
}

} // namespace

int Share(const QStringList& args, QTextStream& out, QTextStream& err) {
    QCommandLineParser p;
    for (const char* flag : {"remember", "password-stdin", "yes", "no"})
        p.addOption(QCommandLineOption(QString::fromLatin1(flag)));
    for (const char* value : {"user", "domain", "drive"})
        p.addOption({QString::fromLatin1(value), QString(), QStringLiteral("value")});
    if (!p.parse(args))
        return 2;
    // "share" stands where the parser expects the program's name.
    const QStringList a = p.positionalArguments(); // the verb, [SHARE]
    const QString verb = a.value(0);
    const bool connect = verb == u"connect";
    if (a.isEmpty() || a.size() > (connect ? 2 : 1) ||
        (!connect && verb != u"status" && verb != u"disconnect") ||
        (!connect && (p.isSet(QStringLiteral("user")) || p.isSet(QStringLiteral("domain")) ||
                      p.isSet(QStringLiteral("drive")) || p.isSet(QStringLiteral("remember")) ||
                      p.isSet(QStringLiteral("password-stdin")))))
        return 2;

    const FlagAnswers answers(p.optionNames());

    Quarn_v2::SuiteState s;
    Quarn_v2::InitialiseSuite(s);
    OfficeShare::Settings settings = OfficeShare::Remembered(s);
    if (verb == u"status") {
        const OfficeShare::State state = OfficeShare::Look(settings);
        out << state.text << "\n";
        if (!state.limits.isEmpty())
            err << "quarnctl: " << state.limits << "\n";
        return 0;
    }
    if (verb == u"disconnect") {
        if (settings.share.isEmpty()) {
            out << Texts::ShareNotConnected() << "\n";
            return 0;
        }
        if (OfficeShare::SuiteUsesDrive(settings)) {
            if (!Asked(Texts::ShareOfferLocal(settings.drive))) {
                err << "quarnctl: the suite uses the office share; nothing was disconnected\n";
                return 1;
            }
            if (ConnectSet(QStringLiteral("local"), out, err) != 0)
                return 1;
        }
        const OfficeShare::Result r = OfficeShare::Disconnect(s, settings);
        if (!r.note.isEmpty())
            err << "quarnctl: " << r.note << "\n";
        (r.ok ? out : err) << (r.ok ? QString() : QStringLiteral("quarnctl: ")) << r.text << "\n";
        return r.ok ? 0 : 1;
    }

    const bool typedShare = a.size() == 2;
    if (typedShare)
        settings.share = a[1];
    // A share typed anew does not take the remembered share's login.
    if (typedShare && !p.isSet(QStringLiteral("user")))
        settings.user.clear(), settings.domain.clear();
    if (p.isSet(QStringLiteral("user")))
        settings.user = p.value(QStringLiteral("user"));
    if (p.isSet(QStringLiteral("domain")))
        settings.domain = p.value(QStringLiteral("domain"));
    if (p.isSet(QStringLiteral("drive")))
        settings.drive = p.value(QStringLiteral("drive"));
    if (settings.share.isEmpty()) {
        err << "quarnctl: no office share is remembered: give one, as \\\\server\\share\n";
        return 2;
    }
    const bool remember = p.isSet(QStringLiteral("remember"));
    QString password;
    if (p.isSet(QStringLiteral("password-stdin")))
        password = ReadPassword(false, {});
    OfficeShare::Result r = OfficeShare::Connect(s, settings, password, remember, Asked);
    // None given and none in the keyring: asked on a terminal.
    if (r.passwordNeeded && !p.isSet(QStringLiteral("password-stdin")) && ::isatty(STDIN_FILENO)) {
        password = ReadPassword(
            true, QStringLiteral("Password for %1 on %2: ")
                      .arg(settings.user.isEmpty() ? QStringLiteral("guest") : settings.user,
                           settings.share));
        r = OfficeShare::Connect(s, settings, password, remember, Asked);
    }
    if (!r.note.isEmpty())
        err << "quarnctl: " << r.note << "\n";
    if (!r.ok) {
        err << "quarnctl: " << r.text << "\n";
        return 1;
    }
    out << r.text << "\n";
    return 0;
}

} // namespace cli
