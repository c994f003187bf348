#include "platform/profile/IniDocument.h"

#include "platform/win/Codepage.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cstring>
#include <limits>

namespace platform {
namespace {

const QByteArray kBom("\xEF\xBB\xBF");
const char* const kReadOnlyReason = "the file is UTF-16 text, or too large, and is never written";

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r';
}
bool IsBlank(QChar c) {
    return c == u' ' || c == u'\t';
}

char Fold(char c) {
    return c >= 'A' && c <= 'Z' ? char(c + 32) : c;
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

bool FoldedEqual(const char* a, qsizetype na, const char* b, qsizetype nb) {
    if (na != nb)
        return false;
    for (qsizetype i = 0; i < na; ++i)
        if (Fold(a[i]) != Fold(b[i]))
            return false;
    return true;
}

// FNV-1a over the folded bytes; the per-process basis keeps a crafted file
// from piling its sections onto one probe chain.
quint32 HashFolded(const char* p, qsizetype n) {
    static const quint32 basis = 2166136261u ^ QRandomGenerator::system()->generate();
    quint32 h = basis;
    for (qsizetype i = 0; i < n; ++i)
        h = (h ^ quint8(Fold(p[i]))) * 16777619u;
    return h;
}

} // namespace

QString FoldName(QStringView name) {
    QString out = name.toString();
    for (QChar& c : out)
        if (c >= u'A' && c <= u'Z')
            c = QChar(c.unicode() + 32);
    return out;
}

IniDocument::IniDocument(QByteArray bytes) : bytes_(std::move(bytes)) {
    // UTF-16 text would be torn by 8-bit edits; a file too long for the
    // index is read as empty and so must not be written either.
    readOnly_ = bytes_.startsWith("\xFF\xFE") || bytes_.startsWith("\xFE\xFF");
    if (bytes_.size() >= qsizetype(std::numeric_limits<quint32>::max())) {
        readOnly_ = true;
        bytes_.clear();
    }
    utf8_ = bytes_.startsWith(kBom);
    start_ = utf8_ ? kBom.size() : 0;

    const char* d = bytes_.constData();
    const qsizetype size = bytes_.size();
    const char* nl = static_cast<const char*>(std::memchr(d, '\n', size));
    eol_ = nl ? (nl > d && nl[-1] == '\r' ? QByteArray("\r\n") : QByteArray("\n"))
              : QByteArray("\r\n");

    // Lines before the first header are what the profile functions read
    // for the empty name; a "[]" header's lines are only written.
    slots_.assign(16, 0);
    topEnd_ = size;
    int open = -1; // span still collecting lines, or -1 under a repeated name
    for (qsizetype pos = start_; pos < size;) {
        const Line line = lineAt(pos);
        if (const auto name = headerName(line)) {
            topEnd_ = std::min(topEnd_, line.begin);
            if (open >= 0)
                spans_[open].end = quint32(line.begin);
            const qsizetype n = name->end - name->begin;
            const quint32 hash = HashFolded(d + name->begin, n);
            if (findSpan(hash, d + name->begin, n) >= 0) {
                open = -1;
            } else {
                open = int(spans_.size());
                addSpan({quint32(line.begin), quint32(size), hash});
            }
        }
        pos = line.next;
    }
}

IniDocument::IniDocument(const IniDocument& index, QByteArray bytes)
    : bytes_(std::move(bytes)), start_(index.start_), topEnd_(index.topEnd_), utf8_(index.utf8_),
      readOnly_(index.readOnly_), eol_(index.eol_), spans_(index.spans_), slots_(index.slots_) {}

IniDocument::Line IniDocument::lineAt(qsizetype pos) const {
    const char* d = bytes_.constData();
    const qsizetype size = bytes_.size();
    const char* nl = static_cast<const char*>(std::memchr(d + pos, '\n', size - pos));
    if (!nl)
        return {pos, size, size};
    const qsizetype at = nl - d;
    return {pos, at, at + 1};
}

// "[" after blanks opens a header that runs to the line's last "]".
std::optional<IniDocument::Range> IniDocument::headerName(const Line& line) const {
    const char* d = bytes_.constData();
    qsizetype p = line.begin;
    while (p < line.contentEnd && (d[p] == ' ' || d[p] == '\t'))
        ++p;
    if (p >= line.contentEnd || d[p] != '[')
        return std::nullopt;
    qsizetype q = line.contentEnd - 1;
    while (q > p && d[q] != ']')
        --q;
    if (q == p)
        return std::nullopt;
    qsizetype b = p + 1, e = q;
    while (b < e && (d[b] == ' ' || d[b] == '\t'))
        ++b;
    while (e > b && (d[e - 1] == ' ' || d[e - 1] == '\t'))
        --e;
    return Range{b, e};
}

IniDocument::Range IniDocument::nameOf(const Span& span) const {
    return *headerName(lineAt(span.header));
}

qsizetype IniDocument::bodyOf(const Span& span) const {
    return lineAt(span.header).next;
}

QString IniDocument::decode(qsizetype from, qsizetype to) const {
    const char* d = bytes_.constData() + from;
    return utf8_ ? DecodeUtf8(d, to - from) : DecodeAnsi(d, to - from);
}

QByteArray IniDocument::encode(QStringView text) const {
    return utf8_ ? text.toUtf8() : EncodeAnsi(text);
}

QString IniDocument::unwritable(QStringView text) const {
    for (qsizetype i = 0, n = 1; i < text.size(); i += n) {
        const bool pair =
            text[i].isHighSurrogate() && i + 1 < text.size() && text[i + 1].isLowSurrogate();
        n = pair ? 2 : 1;
        if (text[i].unicode() < 0x80)
            continue;
        const QStringView c = text.mid(i, n);
        const QByteArray b = encode(c);
        const QString back =
            utf8_ ? DecodeUtf8(b.constData(), b.size()) : DecodeAnsi(b.constData(), b.size());
        if (back != c)
            return c.toString();
    }
    return {};
}

int IniDocument::findSpan(quint32 hash, const char* name, qsizetype size) const {
    const size_t mask = slots_.size() - 1;
    for (size_t i = hash & mask; slots_[i] != 0; i = (i + 1) & mask) {
        const Span& s = spans_[slots_[i] - 1];
        if (s.hash != hash)
            continue;
        const Range r = nameOf(s);
        if (FoldedEqual(bytes_.constData() + r.begin, r.end - r.begin, name, size))
            return int(slots_[i] - 1);
    }
    return -1;
}

void IniDocument::addSpan(const Span& span) {
    spans_.push_back(span);
    if (spans_.size() * 2 > slots_.size()) {
        slots_.assign(std::max<size_t>(16, slots_.size() * 2), 0);
        for (size_t k = 0; k < spans_.size(); ++k) {
            size_t i = spans_[k].hash & (slots_.size() - 1);
            while (slots_[i] != 0)
                i = (i + 1) & (slots_.size() - 1);
            slots_[i] = quint32(k + 1);
        }
        return;
    }
    size_t i = span.hash & (slots_.size() - 1);
    while (slots_[i] != 0)
        i = (i + 1) & (slots_.size() - 1);
    slots_[i] = quint32(spans_.size());
}

const IniDocument::Span* IniDocument::find(QStringView section) const {
    const QByteArray name = encode(TrimView(section));
    const int at =
        findSpan(HashFolded(name.constData(), name.size()), name.constData(), name.size());
    return at < 0 ? nullptr : &spans_[at];
}

std::optional<IniDocument::KeyLine> IniDocument::findKey(const Span& span,
                                                         const QByteArray& key) const {
    return findKey(bodyOf(span), span.end, key);
}

std::optional<IniDocument::KeyLine> IniDocument::findKey(qsizetype from, qsizetype to,
                                                         const QByteArray& key) const {
    const char* d = bytes_.constData();
    for (qsizetype pos = from; pos < to;) {
        const Line line = lineAt(pos);
        pos = line.next;
        // A line without "=" is a key without a value.
        const char* eq = static_cast<const char*>(
            std::memchr(d + line.begin, '=', line.contentEnd - line.begin));
        qsizetype b = line.begin, e = eq ? eq - d : line.contentEnd;
        while (b < e && IsBlank(d[b]))
            ++b;
        while (e > b && IsBlank(d[e - 1]))
            --e;
        if (FoldedEqual(d + b, e - b, key.constData(), key.size()))
            return KeyLine{line, eq ? eq - d : -e};
    }
    return std::nullopt;
}

std::optional<QString> IniDocument::value(QStringView section, QStringView key) const {
    const QStringView k = TrimView(key);
    if (k.isEmpty())
        return std::nullopt;
    std::optional<KeyLine> hit;
    if (TrimView(section).isEmpty()) {
        hit = findKey(start_, topEnd_, encode(k));
    } else if (const Span* span = find(section)) {
        hit = findKey(*span, encode(k));
    }
    if (!hit || hit->equals < 0)
        return std::nullopt; // a key without a value reads as the default

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

std::optional<IniDocument::Splice> IniDocument::splice(QStringView section, QStringView key,
                                                       QStringView value, QString* why) const {
    const auto refuse = [why](const char* reason) {
        if (why)
            *why = QString::fromLatin1(reason);
        return std::nullopt;
    };
    if (readOnly_)
        return refuse(kReadOnlyReason);
    if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value))
        return refuse("a section, key or value may not hold a line break or a NUL character");
    const QStringView k = TrimView(key);
    if (k.isEmpty())
        return refuse("the key is empty");
    if (k.contains(u'=') || k.startsWith(u'['))
        return refuse("a key may not hold \"=\" nor start with \"[\"");
    const QStringView s = TrimView(section);
    const QByteArray keyBytes = encode(k);
    const QByteArray valueBytes = encode(value);
    // Written as the file's code page spells it, or not at all: a "?" in a
    // directory would be taken for the directory.
    const auto unfaithful = [&](QStringView text) {
        const QString c = unwritable(text);
        if (!c.isEmpty() && why)
            *why = QStringLiteral("the file's code page cannot hold \"%1\"").arg(c);
        return !c.isEmpty();
    };
    if (unfaithful(value))
        return std::nullopt;

    const Span* span = find(s);
    if (!span && (unfaithful(s) || unfaithful(k)))
        return std::nullopt;
    if (!span) {
        QByteArray text;
        if (bytes_.size() > start_ && !bytes_.endsWith('\n'))
            text += eol_;
        text += '[' + encode(s) + ']' + eol_ + keyBytes + '=' + valueBytes + eol_;
        return Splice{bytes_.size(), 0, text, true};
    }

    const char* d = bytes_.constData();
    if (const auto hit = findKey(*span, keyBytes); hit && hit->equals < 0) {
        return Splice{-hit->equals, 0, '=' + valueBytes}; // "flag" becomes "flag=2"
    } else if (hit) {
        qsizetype e = hit->line.contentEnd;
        while (e > hit->equals + 1 && IsBlank(d[e - 1]))
            --e;
        qsizetype b = hit->equals + 1;
        while (b < e && IsBlank(d[b]))
            ++b;
        return Splice{b, e - b, valueBytes};
    }
    if (unfaithful(k))
        return std::nullopt;

    // After the section's last non-blank line, so blank lines that part it
    // from the next section stay where they are.
    Line last = lineAt(span->header);
    for (qsizetype pos = bodyOf(*span); pos < span->end;) {
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
    if (last.next > last.contentEnd)
        return Splice{last.next, 0, entry + eol_};
    return Splice{last.contentEnd, 0, eol_ + entry};
}

// One buffer of the new size, filled once: no copy of the whole file that a
// replace would then move.
QByteArray IniDocument::spliced(const Splice& s) const {
    QByteArray out;
    out.reserve(bytes_.size() - s.removed + s.text.size());
    out.append(bytes_.constData(), s.at);
    out.append(s.text);
    out.append(bytes_.constData() + s.at + s.removed, bytes_.size() - s.at - s.removed);
    return out;
}

std::optional<QByteArray> IniDocument::withValue(QStringView section, QStringView key,
                                                 QStringView value, QString* why) const {
    const auto s = splice(section, key, value, why);
    return s ? std::optional(spliced(*s)) : std::nullopt;
}

std::optional<IniDocument> IniDocument::edited(QStringView section, QStringView key,
                                               QStringView value, QString* why) const {
    const auto s = splice(section, key, value, why);
    if (!s)
        return std::nullopt;
    QByteArray out = spliced(*s);
    // A new header, or a file too long for the index: parsed as read.
    if (s->newSection || out.size() >= qsizetype(std::numeric_limits<quint32>::max()))
        return IniDocument(std::move(out));
    // Headers and line ends stay as they were, the change being inside a
    // section, on lines that are no header: every offset at or after the
    // change moves by its length (an insertion before a header or at the
    // file's end belongs to the section before it).
    IniDocument doc(*this, std::move(out));
    const qsizetype from = s->at + s->removed, by = s->text.size() - s->removed;
    const auto shifted = [&](qsizetype p) { return p >= from ? p + by : p; };
    doc.topEnd_ = shifted(topEnd_);
    for (Span& span : doc.spans_) {
        span.header = quint32(shifted(span.header));
        span.end = quint32(shifted(span.end));
    }
    return doc;
}

std::optional<QByteArray> IniDocument::withoutSection(QStringView section, QString* why) const {
    const QStringView s = TrimView(section);
    if (readOnly_ && why)
        *why = QString::fromLatin1(kReadOnlyReason);
    if (readOnly_ || HasLineBreakOrNul(s))
        return std::nullopt;
    const Span* span = find(s);
    if (!span)
        return std::nullopt;
    QByteArray out = bytes_;
    out.remove(span->header, span->end - span->header);
    return out;
}

} // namespace platform
