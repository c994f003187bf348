#include "platform/win/Registry.h"

#include "platform/win/WinPath.h"

#include <QFile>
#include <QFileInfo>
#include <QStringList>

#include <memory>

namespace platform {
namespace {

// Wine writes \\ for \, \" for ", \n and the like, and \x.. for others.
QString Unescape(QStringView s) {
    QString out;
    for (qsizetype i = 0; i < s.size(); ++i) {
        if (s[i] != u'\\' || i + 1 >= s.size()) {
            out += s[i];
            continue;
        }
        const QChar c = s[++i];
        static const QString simple = QStringLiteral("abtnvfre");
        static const char16_t meaning[] = {7, 8, 9, 10, 11, 12, 13, 27};
        if (const qsizetype k = simple.indexOf(c); k >= 0)
            out += QChar(meaning[k]);
        else if (c >= u'0' && c <= u'7') {
            qsizetype j = i;
            while (j < s.size() && j < i + 3 && s[j] >= u'0' && s[j] <= u'7')
                ++j;
            out += QChar(s.mid(i, j - i).toUInt(nullptr, 8));
            i = j - 1;
        } else if (c == u'n')
            out += u'\n';
        else if (c == u'r')
            out += u'\r';
        else if (c == u't')
            out += u'\t';
        else if (c == u'0')
            out += QChar(0);
        else if (c == u'x') {
            qsizetype j = i + 1;
            while (j < s.size() && j < i + 5 &&
                   QStringLiteral("0123456789abcdefABCDEF").contains(s[j]))
                ++j;
            out += QChar(s.mid(i + 1, j - i - 1).toUInt(nullptr, 16));
            i = j - 1;
        } else
            out += c;
    }
    return out;
}

// The end of a quoted string starting after `from`'s opening quote.
qsizetype QuoteEnd(QStringView s, qsizetype from) {
    for (qsizetype i = from; i < s.size(); ++i) {
        if (s[i] == u'\\')
            ++i;
        else if (s[i] == u'"')
            return i;
    }
    return -1;
}

// Item by item: a list of millions of empty items costs no list of them.
QByteArray HexBytes(QStringView list) {
    QByteArray out;
    for (qsizetype from = 0; from <= list.size();) {
        qsizetype comma = list.indexOf(u',', from);
        if (comma < 0)
            comma = list.size();
        if (const QStringView t = list.sliced(from, comma - from).trimmed(); !t.isEmpty())
            out.append(char(t.toUInt(nullptr, 16)));
        from = comma + 1;
    }
    return out;
}

} // namespace

std::optional<RegistryValue> ReadRegistryText(const QByteArray& text, const QString& key,
                                              const QString& name) {
    // One pass over the bytes: only the lines that may matter become text, so
    // a file of many short lines costs little more than itself.
    const QByteArrayView all(text);
    qsizetype pos = 0;
    const auto nextLine = [&] {
        qsizetype end = all.indexOf('\n', pos);
        if (end < 0)
            end = all.size();
        const QByteArrayView line = all.sliced(pos, end - pos).trimmed();
        pos = end + 1;
        return line;
    };
    bool inKey = false;
    QByteArray joined;
    while (pos <= all.size()) {
        QByteArrayView bytes = nextLine();
        if (bytes.startsWith('[')) {
            const QString line = QString::fromUtf8(bytes);
            const qsizetype close = line.lastIndexOf(u']');
            inKey =
                close > 0 &&
                Unescape(QStringView(line).mid(1, close - 1)).compare(key, Qt::CaseInsensitive) ==
                    0;
            continue;
        }
        if (!inKey || !(bytes.startsWith('@') || bytes.startsWith('"')))
            continue;
        // Long hex lists go on over lines ending in "\", if any line follows.
        if (bytes.endsWith('\\')) {
            joined = bytes.toByteArray();
            while (joined.endsWith('\\')) {
                joined.chop(1);
                if (pos > all.size())
                    break;
                joined.append(nextLine());
            }
            bytes = joined;
        }
        const QString line = QString::fromUtf8(bytes);
        QString valueName;
        qsizetype eq;
        if (line.startsWith(u'@')) {
            eq = line.indexOf(u'=');
        } else {
            const qsizetype end = QuoteEnd(line, 1);
            if (end < 0)
                continue;
            valueName = Unescape(QStringView(line).mid(1, end - 1));
            eq = line.indexOf(u'=', end);
        }
        if (eq < 0 || valueName.compare(name, Qt::CaseInsensitive) != 0)
            continue;
        const QStringView v = QStringView(line).mid(eq + 1).trimmed();
        if (v.startsWith(u'"')) {
            const qsizetype end = QuoteEnd(v, 1);
            return RegistryValue{1, Unescape(v.mid(1, end < 0 ? v.size() - 1 : end - 1)).toUtf8()};
        }
        if (v.startsWith(u"dword:")) {
            const quint32 number = v.mid(6).toUInt(nullptr, 16);
            QByteArray data(4, '\0');
            for (int i = 0; i < 4; ++i)
                data[i] = char((number >> (8 * i)) & 0xFF);
            return RegistryValue{4, data};
        }
        if (v.startsWith(u"str(")) {
            const int type = v.mid(4, v.indexOf(u')') - 4).toInt();
            const qsizetype open = v.indexOf(u'"');
            const qsizetype end = open < 0 ? -1 : QuoteEnd(v, open + 1);
            return RegistryValue{
                type, end < 0 ? QByteArray() : Unescape(v.mid(open + 1, end - open - 1)).toUtf8()};
        }
        if (v.startsWith(u"hex(")) {
            const int type = v.mid(4, v.indexOf(u')') - 4).toInt(nullptr, 16);
            QByteArray data = HexBytes(v.mid(v.indexOf(u':') + 1));
            if (type == 1 || type == 2 || type == 7) {
                // Text kept as hex is UTF-16, often without its final zero.
                QString text = QString::fromUtf16(
                    reinterpret_cast<const char16_t*>(data.constData()), data.size() / 2);
                while (text.endsWith(QChar(0)))
                    text.chop(1);
                data = text.toUtf8();
            }
            return RegistryValue{type, data};
        }
        if (v.startsWith(u"hex:"))
            return RegistryValue{3, HexBytes(v.mid(4))};
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<RegistryValue> ReadMachineValue(const QString& key, const QString& name) {
    // A registry is a plain file of modest size; anything else reads as
    // empty, as does one on a share that does not answer in time.
    const QString path = WinePrefix() + QStringLiteral("/system.reg");
    auto text = std::make_shared<std::optional<QByteArray>>();
    const auto read = [text, path] {
        ProbeHost(path);
        QFile f(path);
        if (QFileInfo(path).isFile() && f.size() <= 64 * 1024 * 1024 && f.open(QIODevice::ReadOnly))
            *text = f.readAll();
    };
    if (!AskWithinBound(path, read) || !*text)
        return std::nullopt;
    return ReadRegistryText(**text, key, name);
}

} // namespace platform
