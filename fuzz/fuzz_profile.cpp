// Random bytes as an INI file, then random writes and section removals on
// it. Every change must leave the reads it does not aim at as they were, and
// the value it wrote must read back.

#include "FuzzCheck.h"
#include "platform/profile/IniDocument.h"
#include "platform/win/Codepage.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <QList>
#include <QString>

#include <cstdio>
#include <cstdlib>
#include <utility>
#include <vector>

using platform::FoldName;
using platform::IniDocument;

namespace {

using Name = std::pair<QString, QString>; // section, key

QString Decode(const QByteArray& bytes, bool utf8) {
    return utf8 ? platform::DecodeUtf8(bytes.constData(), bytes.size())
                : platform::DecodeAnsi(bytes.constData(), bytes.size());
}

QString TrimBlanks(const QString& s) {
    qsizetype b = 0, e = s.size();
    while (b < e && (s[b] == u' ' || s[b] == u'\t'))
        ++b;
    while (e > b && (s[e - 1] == u' ' || s[e - 1] == u'\t'))
        --e;
    return s.mid(b, e - b);
}

// A name or value as the file holds it.
QString Stored(const QString& s, bool utf8) {
    return Decode(utf8 ? s.toUtf8() : platform::EncodeAnsi(s), utf8);
}

bool Same(const QString& a, const QString& b, bool utf8) {
    return FoldName(TrimBlanks(Stored(a, utf8))) == FoldName(TrimBlanks(Stored(b, utf8)));
}

// Names to read: each header's text and each line's text before "=", under
// the header before it. They need not be exact: they are read before and
// after and compared.
std::vector<Name> Candidates(const QByteArray& file, bool utf8) {
    std::vector<Name> out;
    QString section;
    for (const QByteArray& line : file.split('\n')) {
        const QString text = Decode(line, utf8);
        const qsizetype open = text.indexOf(u'['), close = text.lastIndexOf(u']');
        if (open >= 0 && close > open) {
            section = text.mid(open + 1, close - open - 1);
            continue;
        }
        if (const qsizetype eq = text.indexOf(u'='); eq > 0)
            out.push_back({section, text.left(eq)});
        if (out.size() > 200)
            break;
    }
    return out;
}

QString Text(FuzzedDataProvider& in) {
    const std::string raw = in.ConsumeRandomLengthString(40);
    return in.ConsumeBool() ? QString::fromLatin1(raw.data(), raw.size())
                            : QString::fromUtf8(raw.data(), raw.size());
}

bool HasBreak(const QString& s) {
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider in(data, size);
    const std::string raw = in.ConsumeRandomLengthString(4096);
    IniDocument doc(QByteArray(raw.data(), raw.size()));
    for (int op = 0; op < 4 && in.remaining_bytes() > 0; ++op) {
        const bool utf8 = doc.isUtf8();
        std::vector<Name> names = Candidates(doc.bytes(), utf8);
        const bool remove = in.ConsumeIntegralInRange(0, 5) == 0;
        QString section = !names.empty() && in.ConsumeBool()
                              ? names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)].first
                              : Text(in);
        QString key = !names.empty() && in.ConsumeBool()
                          ? names[in.ConsumeIntegralInRange<size_t>(0, names.size() - 1)].second
                          : Text(in);
        const QString value = Text(in);
        names.push_back({section, key});

        std::vector<std::optional<QString>> before;
        for (const Name& n : names)
            before.push_back(doc.value(n.first, n.second));

        const auto out = remove ? doc.withoutSection(section) : doc.withValue(section, key, value);
        if (!out) {
            if (!remove) {
                const QString k = TrimBlanks(key);
                const bool unspellable = Stored(section, utf8) != section ||
                                         Stored(key, utf8) != key || Stored(value, utf8) != value;
                Check(HasBreak(section) || HasBreak(key) || HasBreak(value) || k.isEmpty() ||
                      k.contains(u'=') || k.startsWith(u'[') || unspellable ||
                      doc.bytes().startsWith("\xFF\xFE") || doc.bytes().startsWith("\xFE\xFF"));
            }
            continue;
        }
        IniDocument after(*out);
        if (std::getenv("FUZZ_DEBUG")) // shows each change when replaying a crash
            std::fprintf(stderr, "op remove=%d s=[%s] k=[%s]\nbefore=[%s]\nafter=[%s]\n", remove,
                         qPrintable(section), qPrintable(key),
                         doc.bytes().toPercentEncoding().constData(),
                         out->toPercentEncoding().constData());
        Check(after.isUtf8() == utf8);
        for (size_t i = 0; i < names.size(); ++i) {
            const Name& n = names[i];
            const bool aimed = remove ? Same(n.first, section, utf8)
                                      : Same(n.first, section, utf8) && Same(n.second, key, utf8);
            if (!aimed)
                Check(after.value(n.first, n.second) == before[i]);
        }
        // A write to the empty name goes under a "[]" header, which reads
        // never answer.
        if (!remove && !TrimBlanks(Stored(section, utf8)).isEmpty()) {
            // What the file holds is the value in the file's encoding, read
            // back under the names as the file holds them.
            const auto enc = [&](const QString& s) { return Stored(s, utf8); };
            QString expect = TrimBlanks(enc(value));
            if (expect.size() >= 2 && (expect[0] == u'"' || expect[0] == u'\'') &&
                expect.back() == expect[0])
                expect = expect.mid(1, expect.size() - 2);
            const auto got = after.value(enc(section), enc(key));
            Check(got.has_value() && *got == expect);
        }
        doc = std::move(after);
    }
    return 0;
}
