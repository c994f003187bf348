#pragma once
// One INI file's bytes, read the way the Windows profile functions read them,
// and edited so that every byte a change does not need stays as it was.
//
// Names are compared as the file holds them: a request is converted to the
// file's code page first (as the ANSI profile functions do, so "c\u4e2d"
// finds "c?"), then compared byte for byte without regard to ASCII case.

#include <QByteArray>
#include <QString>

#include <optional>
#include <vector>

namespace platform {

class IniDocument {
public:
    // Files of 4 GiB or more are read as empty and never written.
    explicit IniDocument(QByteArray bytes = {});

    const QByteArray& bytes() const { return bytes_; }
    bool isUtf8() const { return utf8_; }

    // The key's value, unquoted; nullopt when the section or key is absent.
    // The section named "" is the lines before the first header, never a
    // "[]" header's (which a write to "" still goes under).
    std::optional<QString> value(QStringView section, QStringView key) const;

    // The file's bytes after the change, or nullopt when it is refused (a CR,
    // LF or NUL anywhere, an empty key, a key that would read back as another
    // key or as a section header, a value or new name that the file's code
    // page cannot spell, a UTF-16 or oversized file; `why` says which) or,
    // for a removal, when there is nothing to remove (`why` stays as it was).
    std::optional<QByteArray> withValue(QStringView section, QStringView key, QStringView value,
                                        QString* why = nullptr) const;
    // As withValue, the whole document. Where the change moves headers but
    // changes none (a value, a key line) the index is this one's, shifted, so
    // the file is not parsed again.
    std::optional<IniDocument> edited(QStringView section, QStringView key, QStringView value,
                                      QString* why = nullptr) const;
    std::optional<QByteArray> withoutSection(QStringView section, QString* why = nullptr) const;

    // Bytes and index alike.
    bool operator==(const IniDocument&) const = default;

private:
    // Kept small (twelve bytes): a file of many short sections costs little
    // more than its bytes. Offsets fit 32 bits; the store reads no file over
    // 256 MiB.
    struct Span {
        quint32 header; // start of the header line
        quint32 end;    // start of the next header line, or the file's end
        quint32 hash;   // of the folded name
        bool operator==(const Span&) const = default;
    };
    struct Line {
        qsizetype begin;
        qsizetype contentEnd; // at the '\n' or the file's end
        qsizetype next;       // after the '\n'
    };
    struct KeyLine {
        Line line;
        qsizetype equals; // the "=", or minus the name's end for a key without a value
    };
    struct Range {
        qsizetype begin, end;
    };
    // `removed` bytes at `at` give way to `text`.
    struct Splice {
        qsizetype at = 0, removed = 0;
        QByteArray text;
        bool newSection = false;
    };

    std::optional<Splice> splice(QStringView section, QStringView key, QStringView value,
                                 QString* why) const;
    QByteArray spliced(const Splice& s) const;

    IniDocument(const IniDocument& index, QByteArray bytes); // the index kept, for `bytes`

    Line lineAt(qsizetype pos) const;
    std::optional<Range> headerName(const Line& line) const; // trimmed
    Range nameOf(const Span& span) const;
    qsizetype bodyOf(const Span& span) const;
    QString decode(qsizetype from, qsizetype to) const;
    QByteArray encode(QStringView text) const;
    QString unwritable(QStringView text) const; // the first character encode() loses

    int findSpan(quint32 hash, const char* name, qsizetype size) const;
    void addSpan(const Span& span);
    const Span* find(QStringView section) const;
    std::optional<KeyLine> findKey(const Span& span, const QByteArray& key) const;
    std::optional<KeyLine> findKey(qsizetype from, qsizetype to, const QByteArray& key) const;

    QByteArray bytes_;
    qsizetype start_ = 0;  // after the byte-order mark
    qsizetype topEnd_ = 0; // the first header line, or the file's end
    bool utf8_ = false;
    bool readOnly_ = false;
    QByteArray eol_;
    std::vector<Span> spans_;    // the first section of each name only
    std::vector<quint32> slots_; // open addressing: spans_ index + 1, or 0
};

// Names match without regard to ASCII case, as the profile functions match.
QString FoldName(QStringView name);

} // namespace platform
