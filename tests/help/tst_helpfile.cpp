// The help file: compiled whole and current, its links sound, and the
// messages it quotes the program's own, word for word, every one of them.

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace {

const QString kRoot = QStringLiteral(QUARN_SOURCE_DIR);
const QString kHelp = kRoot + QStringLiteral("/help/");

QByteArray ReadBytes(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}
QString Read(const QString& path) {
    return QString::fromUtf8(ReadBytes(path));
}

// A project entry as a file in the tree: the screenshots come from docs/.
QString SourceOf(const QString& entry) {
    return entry.startsWith(u"images/") ? kRoot + QStringLiteral("/docs/") + entry.mid(7)
                                        : kHelp + entry;
}

QString ProjectOption(const QString& key) {
    const QRegularExpression re(QStringLiteral("^%1=(.*)$").arg(key),
                                QRegularExpression::MultilineOption);
    return re.match(Read(kHelp + QStringLiteral("quarn.hhp"))).captured(1).trimmed();
}

QStringList ProjectFiles() {
    const QString hhp = Read(kHelp + QStringLiteral("quarn.hhp"));
    QStringList files;
    for (const QString& line : hhp.section(QStringLiteral("[FILES]"), 1).split(u'\n'))
        if (!line.trimmed().isEmpty())
            files << line.trimmed();
    return files;
}

QString Decode(QString s) {
    static const QList<std::pair<QString, QString>> entities = {
        {"&nbsp;", " "},  {"&lt;", "<"},     {"&gt;", ">"},     {"&quot;", "\""},
        {"&#39;", "'"},   {"&ldquo;", "\""}, {"&rdquo;", "\""}, {"&copy;", "\u00a9"},
        {"&amp;", "&"}};
    for (const auto& [entity, text] : entities)
        s.replace(entity, text);
    return s;
}

// Every message the help quotes (class "msg" or "msgtitle"), as shown: a
// line break for <br>, and \x01 where the program fills in a name.
QStringList HelpQuotes() {
    static const QRegularExpression span(
        QStringLiteral(R"re(<span class="msg(?:title)?">(.*?)</span>)re"),
        QRegularExpression::DotMatchesEverythingOption);
    QStringList quotes;
    for (const QString& page : QDir(kHelp).entryList({QStringLiteral("*.html")})) {
        for (const auto& m : span.globalMatch(Read(kHelp + page))) {
            QString q = m.captured(1).replace(QRegularExpression(QStringLiteral(R"re(\s+)re")), " ");
            q.replace(QRegularExpression(QStringLiteral(R"re(\s*<br\s*/?>\s*)re")), "\n");
            q.replace(QRegularExpression(QStringLiteral("<var>.*?</var>")), "\x01");
            q.remove(QRegularExpression(QStringLiteral("<[^>]*>")));
            quotes << Decode(q);
        }
    }
    return quotes;
}

// A source file with its comments dropped and each string or character
// literal replaced by \x02N\x03, N indexing `literals`.
struct Source {
    QString code;
    QStringList literals;
};

Source Tokenise(const QString& text) {
    static const QRegularExpression prefix(QStringLiteral(R"re((?<!\w)(u8|u|U|L)$)re"));
    Source s;
    for (qsizetype i = 0; i < text.size();) {
        if (text.mid(i, 2) == u"//") {
            i = text.indexOf(u'\n', i) < 0 ? text.size() : text.indexOf(u'\n', i);
        } else if (text.mid(i, 2) == u"/*") {
            const qsizetype end = text.indexOf(QStringLiteral("*/"), i);
            i = end < 0 ? text.size() : end + 2;
        } else if (text[i] == u'"' || text[i] == u'\'') {
            const QChar quote = text[i++];
            QString value;
            for (; i < text.size() && text[i] != quote; ++i) {
                if (text[i] == u'\\') {
                    const QChar e = text[++i];
                    value += e == u'n' ? QChar(u'\n') : e == u'r' ? QChar(u'\r')
                           : e == u't' ? QChar(u'\t') : e;
                } else {
                    value += text[i];
                }
            }
            for (++i; i < text.size() && (text[i].isLetterOrNumber() || text[i] == u'_');)
                ++i; // a user-defined suffix such as _qs
            s.code.remove(prefix);
            s.code += QStringLiteral("\x02%1\x03").arg(s.literals.size());
            s.literals << value.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        } else {
            s.code += text[i++];
        }
    }
    // QStringLiteral("a") + u' ' and "a" "b" are one text to the reader.
    s.code.replace(QRegularExpression(QStringLiteral(
                       R"re(\b(?:QStringLiteral|QLatin1String|QString)\s*\(\s*((?:\x02\d+\x03\s*)+)\))re")),
                   QStringLiteral("\\1"));
    return s;
}

QStringList Pieces(const Source& s, const QString& span) {
    static const QRegularExpression run(QStringLiteral(R"re(\x02\d+\x03(?:[\s+]*\x02\d+\x03)*)re"));
    static const QRegularExpression one(QStringLiteral(R"re(\x02(\d+)\x03)re"));
    QStringList pieces;
    for (const auto& r : run.globalMatch(span)) {
        QString joined;
        for (const auto& l : one.globalMatch(r.captured()))
            joined += s.literals[l.captured(1).toInt()];
        pieces << joined;
    }
    return pieces;
}

// From the '(' at `open`, the text up to its matching ')' (or '{' ... '}').
QString Balanced(const QString& code, qsizetype open) {
    const QChar o = code[open], c = o == u'(' ? u')' : u'}';
    int depth = 0;
    for (qsizetype i = open; i < code.size(); ++i) {
        if (code[i] == o)
            ++depth;
        else if (code[i] == c && --depth == 0)
            return code.mid(open + 1, i - open - 1);
    }
    return code.mid(open + 1);
}

// The texts message boxes can show, as literal pieces. Read from the calls
// of MsgBox (and of Ask, the copy's yes/no wrapper): their arguments' own
// literals; for a QString local an argument names, its initialiser's; for a
// function an argument calls, the literals of its return statements,
// following further calls (so an error's description reaches the
// descriptions). Locals named inside those are paths, not wording, and are
// not followed. Reading the calls rather than a list kept here means a new
// message needs no change to this test to be held to the help.
QStringList ProgramMessages() {
    QList<Source> files;
    for (const char* dir : {"app", "config", "setup", "shell", "suite", "transfer", "widgets"})
        for (const QFileInfo& f : QDir(kRoot + u'/' + dir).entryInfoList({"*.cpp", "*.h"}))
            files << Tokenise(Read(f.filePath()));
    for (const char* f : {"HostError.h", "HostError.cpp"})
        files << Tokenise(Read(kRoot + QStringLiteral("/platform/") + f));

    QHash<QString, QList<std::pair<int, QString>>> returns; // function -> (file, expression)
    static const QRegularExpression definition(QStringLiteral(
        R"re(\bQString\s+(?:\w+::)*(\w+)\s*\((?:[^()]|\([^()]*\))*\)\s*(?:const\s*)?(?=\{))re"));
    static const QRegularExpression ret(QStringLiteral(R"re(\breturn\b([^;]*);)re"));
    for (int f = 0; f < files.size(); ++f)
        for (const auto& d : definition.globalMatch(files[f].code))
            for (const auto& r : ret.globalMatch(Balanced(files[f].code, d.capturedEnd())))
                returns[d.captured(1)] << std::pair{f, r.captured(1)};

    QStringList pieces;
    QSet<QString> seen;
    std::function<void(int, const QString&, bool)> resolve = [&](int f, const QString& span,
                                                                  bool followLocals) {
        pieces += Pieces(files[f], span);
        static const QRegularExpression name(QStringLiteral(R"re(\b([A-Za-z_]\w*)\b(\s*\()?)re"));
        for (const auto& n : name.globalMatch(span)) {
            const QString id = n.captured(1);
            const bool called = !n.captured(2).isEmpty();
            if (called && !seen.contains(id)) {
                seen.insert(id);
                for (const auto& [file, expr] : returns.value(id))
                    resolve(file, expr, false);
            } else if (!called && followLocals) {
                const QRegularExpression local(
                    QStringLiteral(R"re(\bQString\s+%1\s*=([^;]*);)re").arg(id));
                for (const auto& l : local.globalMatch(files[f].code))
                    resolve(f, l.captured(1), false);
            }
        }
    };
    static const QRegularExpression call(QStringLiteral(R"re((\w*)\s*\b(?:MsgBox|Ask)\s*\()re"));
    for (int f = 0; f < files.size(); ++f)
        for (const auto& c : call.globalMatch(files[f].code))
            if (c.captured(1).isEmpty() || c.captured(1) == u"return") // not a definition
                resolve(f, Balanced(files[f].code, c.capturedEnd() - 1), true);
    return pieces;
}

// Whether `text` is made of program pieces laid end to end.
bool Composed(const QString& text, const QStringList& pieces) {
    QList<bool> reach(text.size() + 1, false);
    reach[0] = true;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (reach[i])
            for (const QString& p : pieces)
                if (!p.isEmpty() && QStringView(text).mid(i).startsWith(p))
                    reach[i + p.size()] = true;
    return reach.last();
}

QByteArray Chmls(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral(QUARN_CHMLS), args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0)
        return {};
    return p.readAllStandardOutput();
}

} // namespace

class tst_HelpFile : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void project() {
        QCOMPARE(ProjectOption(QStringLiteral("Title")), QStringLiteral("Quarn Help"));
        QCOMPARE(ProjectOption(QStringLiteral("Compiled file")), QStringLiteral("quarn.chm"));
        const QStringList files = ProjectFiles();
        for (const char* key : {"Default topic", "Contents file", "Index file"}) {
            const QString named = ProjectOption(key);
            QVERIFY2(QFile::exists(kHelp + named), qPrintable(QLatin1String(key) + u' ' + named));
        }
        QVERIFY(files.contains(ProjectOption(QStringLiteral("Default topic"))));
        for (const QString& f : files)
            QVERIFY2(QFile::exists(SourceOf(f)), qPrintable(f + QStringLiteral(" is missing")));
        // A page left out of the project or the contents is a page no one reads.
        const QString toc = Read(kHelp + QStringLiteral("toc.hhc"));
        for (const QString& page : QDir(kHelp).entryList({QStringLiteral("*.html")})) {
            QVERIFY2(files.contains(page), qPrintable(page + QStringLiteral(" not in [FILES]")));
            QVERIFY2(toc.contains(QStringLiteral("value=\"%1\"").arg(page)), qPrintable(page));
        }
    }

    void compiled_data() {
        QTest::addColumn<QString>("entry");
        for (const QString& f : ProjectFiles() + QStringList{"toc.hhc", "index.hhk"})
            QTest::newRow(qPrintable(f)) << f;
    }
    // Each file is in the compiled help, as it is now in the tree.
    void compiled() {
        QFETCH(QString, entry);
        QTemporaryDir out;
        const QString saved = out.filePath(QStringLiteral("x"));
        Chmls({QStringLiteral("extract"), QStringLiteral(QUARN_HELP_CHM), u'/' + entry, saved});
        QVERIFY2(QFile::exists(saved), qPrintable(entry + QStringLiteral(" not in quarn.chm")));
        QVERIFY2(ReadBytes(saved) == ReadBytes(SourceOf(entry)),
                 qPrintable(entry + QStringLiteral(" in quarn.chm is out of date")));
    }

    void links_data() {
        QTest::addColumn<QString>("file");
        for (const QString& f : QDir(kHelp).entryList({"*.html", "*.hhc", "*.hhk"}))
            QTest::newRow(qPrintable(f)) << f;
    }
    // Every link and picture reaches a compiled file, and an anchor in it.
    void links() {
        QFETCH(QString, file);
        static const QRegularExpression target(QStringLiteral(
            R"re((?:href|src)="([^"]*)"|<param name="Local" value="([^"]*)")re"),
            QRegularExpression::CaseInsensitiveOption);
        const QStringList files = ProjectFiles();
        for (const auto& m : target.globalMatch(Read(kHelp + file))) {
            const QString link = m.captured(1) + m.captured(2);
            if (link.startsWith(u"https://") || link.startsWith(u"http://"))
                continue;
            const QString page = link.section(u'#', 0, 0).isEmpty() ? file : link.section(u'#', 0, 0);
            QVERIFY2(files.contains(page), qPrintable(link + QStringLiteral(": no such file")));
            const QString anchor = link.section(u'#', 1);
            if (!anchor.isEmpty())
                QVERIFY2(Read(SourceOf(page)).contains(QStringLiteral("name=\"%1\"").arg(anchor)),
                         qPrintable(link + QStringLiteral(": no such anchor")));
        }
    }

    // What the help quotes, the program says: every fixed part of a quote is
    // made of the program's own message text.
    void quotesAreVerbatim() {
        const QStringList pieces = ProgramMessages();
        const QStringList quotes = HelpQuotes();
        QVERIFY(quotes.size() > 20);
        for (const QString& q : quotes)
            for (const QString& part : q.split(u'\x01'))
                QVERIFY2(Composed(part, pieces),
                         qPrintable(QStringLiteral("not the program's wording: ") + part));
    }

    // What the program says, the help explains.
    void messagesAreCovered() {
        const QString all = HelpQuotes().join(u'\x01');
        const QStringList pieces = ProgramMessages();
        QVERIFY(pieces.contains(QStringLiteral("Exit Quarn?"))); // the extraction works
        QVERIFY(pieces.contains(QStringLiteral("Disk not ready")));
        for (const QString& p : pieces)
            if (p.size() > 1 && p.contains(QRegularExpression(QStringLiteral("[A-Za-z]"))))
                QVERIFY2(all.contains(p), qPrintable(QStringLiteral("not in the help: ") + p));
    }
};

QTEST_GUILESS_MAIN(tst_HelpFile)
#include "tst_helpfile.moc"
