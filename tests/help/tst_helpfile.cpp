// The help file: compiled whole and current, its links sound, and the
// messages it quotes the program's own, word for word, every one of them.

#include "config/ErrorReport.h"
#include "platform/win/HostError.h"
#include "suite/mod_Shell32.h"
#include "tests/support/Doubles.h"
#include "tests/support/TestPrefix.h"

#include <QDirIterator>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

const QString kRoot = QStringLiteral(QUARN_SOURCE_DIR);
const QString kHelp = kRoot + QStringLiteral("/help/");

static QString Read(const QString& path) {
    return QString::fromUtf8(TestPrefix::read(path));
}

// A project entry as a file in the tree: the screenshots come from docs/.
static QString SourceOf(const QString& entry) {
    return entry.startsWith(u"images/") ? kRoot + "/docs/" + entry.mid(7) : kHelp + entry;
}

// Help text as the reader sees it: a line break for <br>, and \x01 where
// the program fills in a name.
static QString AsShown(QString html) {
    html.replace(QRegularExpression(R"(\s+)"), " ");
    html.replace(QRegularExpression(R"(\s*<br\s*/?>\s*)"), "\n");
    html.replace(QRegularExpression("<var>.*?</var>"), "\x01");
    html.remove(QRegularExpression("<[^>]*>"));
    // Each entity, then what it shows; "&amp;" last.
    static const QStringList entities{"&nbsp;",  " ",  "&lt;",     "<", "&gt;",    ">",
                                      "&quot;",  "\"", "&#39;",    "'", "&ldquo;", "\"",
                                      "&rdquo;", "\"", "&hellip;", "…", "&amp;",   "&"};
    for (qsizetype i = 0; i < entities.size(); i += 2)
        html.replace(entities[i], entities[i + 1]);
    return html;
}

// The string literals in C++ code; those written on lines one after the
// other are one text.
static QStringList Literals(QString code) {
    static const QRegularExpression literal(R"re("((?:[^"\\]|\\.)*)")re");
    code.replace(QRegularExpression(R"re("\s*\n\s*")re"), QString());
    QStringList out;
    for (const auto& m : literal.globalMatch(code))
        out << m.captured(1).replace("\\n", "\n").replace("\\\"", "\"").replace("\\\\", "\\");
    return out;
}

// What the program's boxes can say, in the pieces it joins: the catalogue
// of its texts, the shell's and the run-time's descriptions, the error
// reporter's frame, and any literal handed straight to a box.
static QStringList ProgramTexts() {
    QStringList pieces =
        Literals(Read(kRoot + "/suite/Texts.h")) + Literals(Read(kRoot + "/office/Texts.h"));
    for (int n = 0; n <= 1100; ++n)
        pieces << platform::ErrorDescription(n) << mod_Shell32::ShellMessage(n);
    ScriptedPrompter script({platform::Answer::Abort});
    ErrorReport::CurrentProc = "MOD";
    ErrorReport::HandleError(platform::DiskNotReady);
    const platform::Message& shown = script.shown().value(0);
    pieces << shown.title
           << QString(shown.text).remove(u'\r').split(QRegularExpression("Disk not ready|71|MOD"));
    for (const char* dir : {"app", "cli", "config", "platform", "setup", "about", "suite",
                            "transfer", "widgets", "office", "office/windows"})
        for (QDirIterator it(kRoot + u'/' + dir, {"*.cpp", "*.h"}); it.hasNext();)
            for (const auto& m :
                 QRegularExpression(R"(\bMsgBox\s*\(([^;]*)\);)").globalMatch(Read(it.next())))
                pieces += Literals(m.captured(1));
    pieces.removeDuplicates();
    return pieces;
}

// Whether `text` is made of program pieces laid end to end.
static bool Composed(const QString& text, QStringList pieces) {
    pieces.removeAll(QString());
    for (QString& p : pieces)
        p = QRegularExpression::escape(p);
    return QRegularExpression("^(?:" + pieces.join(u'|') + ")*$").match(text).hasMatch();
}

class tst_HelpFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void projectCompiledAndLinked() {
        const QStringList files = Read(kHelp + "quarn.hhp")
                                      .section("[FILES]", 1)
                                      .split(QRegularExpression(R"(\s+)"), Qt::SkipEmptyParts);
        // The default topic, the contents and the index are there.
        static const QRegularExpression named(R"(=(\S+\.(?:html|hhc|hhk))\s*$)",
                                              QRegularExpression::MultilineOption);
        for (const auto& m : named.globalMatch(Read(kHelp + "quarn.hhp")))
            QVERIFY2(QFile::exists(kHelp + m.captured(1)), qPrintable(m.captured(1)));
        // A page left out of the project or the contents is a page no one reads.
        const QString toc = Read(kHelp + "toc.hhc");
        for (const QString& page : QDir(kHelp).entryList({"*.html"}))
            QVERIFY2(files.contains(page) && toc.contains("value=\"" + page + '"'),
                     qPrintable(page));
        // Each file is in the compiled help, as it is now in the tree.
        QTemporaryDir out;
        QProcess chmls;
        chmls.start(QUARN_CHMLS, {"extractall", QUARN_HELP_CHM, out.path()});
        QVERIFY(chmls.waitForFinished(60000));
        for (const QString& entry : files + QStringList{"toc.hhc", "index.hhk"})
            QVERIFY2(TestPrefix::read(out.filePath(entry)) == TestPrefix::read(SourceOf(entry)),
                     qPrintable(entry + ": missing, or out of date in quarn.chm"));
        // Every link and picture reaches a compiled file, and an anchor in it.
        static const QRegularExpression target(
            R"re((?:href|src)="([^"]*)"|<param name="Local" value="([^"]*)")re",
            QRegularExpression::CaseInsensitiveOption);
        for (const QString& file : QDir(kHelp).entryList({"*.html", "*.hhc", "*.hhk"})) {
            for (const auto& m : target.globalMatch(Read(kHelp + file))) {
                const QString link = m.captured(1) + m.captured(2);
                if (link.startsWith(u"https://") || link.startsWith(u"http://"))
                    continue;
                const QString page = link.startsWith(u'#') ? file : link.section(u'#', 0, 0);
                const QString anchor = link.section(u'#', 1);
                QVERIFY2(files.contains(page), qPrintable(file + ": " + link + ": no such file"));
                QVERIFY2(anchor.isEmpty() ||
                             Read(SourceOf(page)).contains("name=\"" + anchor + '"'),
                         qPrintable(file + ": " + link + ": no such anchor"));
            }
        }
    }

    // What the help quotes, the program says: every fixed part of a quote is
    // made of the program's own text. And what the program says, the help
    // says too.
    void messagesAreTheProgramsOwn() {
        const QStringList pieces = ProgramTexts();
        QVERIFY(pieces.contains("Exit Quarn?") && pieces.contains("Disk not ready") &&
                pieces.contains("invalid tag type of object sent")); // the reading works
        // The help's text, and every message it quotes (class "msg" or "msgtitle").
        static const QRegularExpression span(R"(<span class="msg(?:title)?">(.*?)</span>)",
                                             QRegularExpression::DotMatchesEverythingOption);
        QString help;
        QStringList quotes;
        for (const QString& page : QDir(kHelp).entryList({"*.html"})) {
            const QString html = Read(kHelp + page);
            help += AsShown(html);
            for (const auto& m : span.globalMatch(html))
                quotes << AsShown(m.captured(1));
        }
        QVERIFY(quotes.size() > 20);
        for (const QString& q : quotes)
            for (const QString& part : q.split(u'\x01'))
                QVERIFY2(Composed(part, pieces), qPrintable("not the program's wording: " + part));
        for (const QString& p : pieces)
            if (p.size() > 1 && p.contains(QRegularExpression("[A-Za-z]")))
                QVERIFY2(help.contains(p), qPrintable("not in the help: " + p));
    }
};

QTEST_GUILESS_MAIN(tst_HelpFile)
#include "tst_helpfile.moc"
