#include "IniDocument.h"

#include "Codepage.h"

#include <QRandomGenerator>

#include <cstring>

namespace platform {
namespace {

const QByteArray kBom("\xEF\xBB\xBF");

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

QStringView TrimView(QStringView s) {
    qsizetype b = 0, e = s.size();
    while (b < e && IsBlank(s[b]))
        ++b;
    while (e > b && IsBlank(s[e - 1]))
        --e;
    return s.mid(b, e - b);
}

bool HasLineBreakOrNul(QStringView s) {
    for (QChar c : s)
        if (c == u'\r' || c == u'\n' || c.isNull())
            return true;
    return false;
}

} // namespace

size_t IniDocument::NameHash::operator()(const QString& name) const noexcept {
    // FNV-1a, cheaper than qHash on short names; the per-process basis keeps a
    // crafted file from piling its sections into one bucket.
    static const size_t basis = 14695981039346656037ull ^ QRandomGenerator::system()->generate64();
    size_t h = basis;
    for (QChar c : name)
        h = (h ^ c.unicode()) * 1099511628211ull;
    return h;
}

QString FoldName(QStringView name) {
    QString out = name.toString();
    for (QChar& c : out)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return out;
}

IniDocument::IniDocument(QByteArray bytes) : bytes_(std::move(bytes)) {
    utf8_ = bytes_.startsWith(kBom);
    start_ = utf8_ ? kBom.size() : 0;

    const char* d = bytes_.constData();
    const qsizetype size = bytes_.size();
    const char* nl = static_cast<const char*>(std::memchr(d, '\n', size));
    eol_ = nl ? (nl > d && nl[-1] == '\r' ? QByteArray("\r\n") : QByteArray("\n"))
              : QByteArray("\r\n");

    spans_.push_back({-1, start_, size});
    index_.try_emplace(QString(), 0);
    int open = 0; // span still collecting lines, or -1 for a repeated name
    for (qsizetype pos = start_; pos < size;) {
        const Line line = lineAt(pos);
        qsizetype nb = 0, ne = 0;
        if (isHeader(line, &nb, &ne)) {
            if (open >= 0)
                spans_[open].end = line.begin;
            const QString name = FoldName(TrimView(decode(nb, ne)));
            const int next = static_cast<int>(spans_.size());
            if (index_.try_emplace(name, next).second) {
                open = next;
                spans_.push_back({line.begin, line.next, size});
            } else {
                open = -1;
            }
        }
        pos = line.next;
    }
}

IniDocument::Line IniDocument::lineAt(qsizetype pos) const {
    const char* d = bytes_.constData();
    const qsizetype size = bytes_.size();
    const char* nl = static_cast<const char*>(std::memchr(d + pos, '\n', size - pos));
    if (!nl)
        return {pos, size, size};
    const qsizetype at = nl - d;
    return {pos, at, at + 1};
}

bool IniDocument::isHeader(const Line& line, qsizetype* nameBegin, qsizetype* nameEnd) const {
    const char* d = bytes_.constData();
    qsizetype p = line.begin;
    while (p < line.contentEnd && (d[p] == ' ' || d[p] == '\t'))
        ++p;
    if (p >= line.contentEnd || d[p] != '[')
        return false;
    for (qsizetype q = line.contentEnd - 1; q > p; --q) {
        if (d[q] == ']') {
            *nameBegin = p + 1;
            *nameEnd = q;
            return true;
        }
    }
    return false;
}

QString IniDocument::decode(qsizetype from, qsizetype to) const {
    const char* d = bytes_.constData() + from;
    return utf8_ ? QString::fromUtf8(d, to - from) : DecodeAnsi(d, to - from);
}

QString IniDocument::asStored(QStringView name) const {
    const QByteArray b = encode(name);
    return utf8_ ? QString::fromUtf8(b) : DecodeAnsi(b.constData(), b.size());
}

QByteArray IniDocument::encode(QStringView text) const {
    return utf8_ ? text.toUtf8() : EncodeAnsi(text);
}

const IniDocument::Span* IniDocument::find(QStringView section) const {
    const auto it = index_.find(FoldName(TrimView(asStored(section))));
    return it == index_.end() ? nullptr : &spans_[it->second];
}

std::optional<IniDocument::KeyLine> IniDocument::findKey(const Span& span,
                                                         const QString& foldedKey) const {
    const char* d = bytes_.constData();
    for (qsizetype pos = span.body; pos < span.end;) {
        const Line line = lineAt(pos);
        pos = line.next;
        const char* eq = static_cast<const char*>(
            std::memchr(d + line.begin, '=', line.contentEnd - line.begin));
        if (!eq)
            continue;
        qsizetype b = line.begin, e = eq - d;
        while (b < e && IsBlank(d[b]))
            ++b;
        while (e > b && IsBlank(d[e - 1]))
            --e;
        if (e - b != foldedKey.size() && utf8_ == false)
            continue; // one byte, one character: cannot match
        if (FoldName(decode(b, e)) == foldedKey)
            return KeyLine{line, eq - d};
    }
    return std::nullopt;
}

std::optional<QString> IniDocument::value(QStringView section, QStringView key) const {
    const QStringView k = TrimView(key);
    if (k.isEmpty())
        return std::nullopt;
    const Span* span = find(section);
    if (!span)
        return std::nullopt;
    const auto hit = findKey(*span, FoldName(asStored(k)));
    if (!hit)
        return std::nullopt;

    const char* d = bytes_.constData();
    qsizetype b = hit->equals + 1, e = hit->line.contentEnd;
    // The profile functions hand the value over as a C string.
    if (const void* nul = std::memchr(d + b, '\0', e - b))
        e = static_cast<const char*>(nul) - d;
    while (b < e && IsBlank(d[b]))
        ++b;
    while (e > b && IsBlank(d[e - 1]))
        --e;
    if (e - b >= 2 && (d[b] == '"' || d[b] == '\'') && d[e - 1] == d[b]) {
        ++b;
        --e;
    }
    return decode(b, e);
}

std::optional<QByteArray> IniDocument::withValue(QStringView section, QStringView key,
                                                 QStringView value) const {
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value))
        return std::nullopt;
    const QStringView k = TrimView(key);
    if (k.isEmpty() || k.contains(u'=') || k.startsWith(u'['))
        return std::nullopt;
    const QStringView s = TrimView(section);
    const QByteArray keyBytes = encode(k);
    const QByteArray valueBytes = encode(value);

    QByteArray out = bytes_;
    const Span* span = find(s);
    if (!span) {
        if (out.size() > start_ && !out.endsWith('\n'))
            out += eol_;
        out += '[' + encode(s) + ']' + eol_ + keyBytes + '=' + valueBytes + eol_;
        return out;
    }

    const char* d = bytes_.constData();
    if (const auto hit = findKey(*span, FoldName(asStored(k)))) {
        qsizetype e = hit->line.contentEnd;
        while (e > hit->equals + 1 && IsBlank(d[e - 1]))
            --e;
        qsizetype b = hit->equals + 1;
        while (b < e && IsBlank(d[b]))
            ++b;
        out.replace(b, e - b, valueBytes);
        return out;
    }

    // After the section's last non-blank line, so blank lines that part it
    // from the next section stay where they are.
    std::optional<Line> last;
    if (span->header >= 0)
        last = lineAt(span->header);
    for (qsizetype pos = span->body; pos < span->end;) {
        const Line line = lineAt(pos);
        pos = line.next;
        for (qsizetype p = line.begin; p < line.contentEnd; ++p) {
            if (!IsBlank(d[p])) {
                last = line;
                break;
            }
        }
    }
    const QByteArray entry = keyBytes + '=' + valueBytes;
    if (!last) {
        // A key whose bytes open with the byte-order mark would turn the whole
        // file into UTF-8 text.
        if (!utf8_ && entry.startsWith(kBom))
            return std::nullopt;
        out.insert(start_, entry + eol_);
    } else if (last->next > last->contentEnd)
        out.insert(last->next, entry + eol_);
    else
        out.insert(last->contentEnd, eol_ + entry);
    return out;
}

std::optional<QByteArray> IniDocument::withoutSection(QStringView section) const {
    const QStringView s = TrimView(section);
    if (s.isEmpty() || HasLineBreakOrNul(s))
        return std::nullopt;
    const Span* span = find(s);
    if (!span)
        return std::nullopt;
    QByteArray out = bytes_;
    out.remove(span->header, span->end - span->header);
    return out;
}

} // namespace platform
