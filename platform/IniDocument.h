#pragma once
// One INI file's bytes, read the way the Windows profile functions read them,
// and edited so that every byte a change does not need stays as it was.

#include <QByteArray>
#include <QString>

#include <optional>
#include <unordered_map>
#include <vector>

namespace platform {

class IniDocument {
public:
    explicit IniDocument(QByteArray bytes = {});

    const QByteArray& bytes() const { return bytes_; }
    bool isUtf8() const { return utf8_; }

    // The key's value, unquoted; nullopt when the section or key is absent.
    std::optional<QString> value(QStringView section, QStringView key) const;

    // The file's bytes after the change, or nullopt when it is refused (a CR,
    // LF or NUL anywhere, an empty key, a key that would read back as another
    // key or as a section header) or, for a removal, when there is nothing to
    // remove.
    std::optional<QByteArray> withValue(QStringView section, QStringView key,
                                        QStringView value) const;
    std::optional<QByteArray> withoutSection(QStringView section) const;

private:
    struct Span {
        qsizetype header; // start of the header line, -1 for the lines before any header
        qsizetype body;   // first byte after the header line
        qsizetype end;    // start of the next header line, or the file's end
    };
    struct Line {
        qsizetype begin;
        qsizetype contentEnd; // at the '\n' or the file's end
        qsizetype next;       // after the '\n'
    };
    struct KeyLine {
        Line line;
        qsizetype equals;
    };

    Line lineAt(qsizetype pos) const;
    bool isHeader(const Line& line, qsizetype* nameBegin, qsizetype* nameEnd) const;
    QString decode(qsizetype from, qsizetype to) const;
    QByteArray encode(QStringView text) const;
    // A name as the file would hold it: the profile functions convert a
    // request to the file's code page before they compare, so "c\u4e2d" finds
    // "c?".
    QString asStored(QStringView name) const;
    const Span* find(QStringView section) const;
    std::optional<KeyLine> findKey(const Span& span, const QString& foldedKey) const;

    QByteArray bytes_;
    qsizetype start_ = 0; // after the byte-order mark
    bool utf8_ = false;
    QByteArray eol_;
    struct NameHash {
        size_t operator()(const QString& name) const noexcept;
    };
    std::vector<Span> spans_;                          // first section of each name only
    std::unordered_map<QString, int, NameHash> index_; // folded name -> spans_ index
};

// Names match without regard to ASCII case, as the profile functions match.
QString FoldName(QStringView name);

} // namespace platform
