#pragma once
// Test cases kept as data beside a test: one case a line, fields split by
// tabs. Blank lines and lines starting with '#' are skipped. In a field,
// \n \r \t \0 and \\ stand for their characters; any other backslash
// stands for itself, so Windows paths read as written.

#include <QFile>
#include <QStringList>
#include <QTest>

inline QList<QStringList> ReadCases(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read %s", qPrintable(file));
    static const QString escaped = QStringLiteral("nrt0\\");
    static const QString meant = QString::fromUtf16(u"\n\r\t\0\\", 5);
    QList<QStringList> cases;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QStringList fields;
        for (const QString& raw : line.split(u'\t')) {
            QString field;
            for (qsizetype i = 0; i < raw.size(); ++i) {
                const qsizetype at =
                    raw[i] == u'\\' && i + 1 < raw.size() ? escaped.indexOf(raw[i + 1]) : -1;
                field += at < 0 ? raw[i] : meant[at];
                i += at < 0 ? 0 : 1;
            }
            fields << field;
        }
        cases << fields;
    }
    return cases;
}

// One QTest row a case of a file under tests/, in the QStringList column
// "c", named by the field `name` (the last when negative).
inline void AddCases(const char* file, qsizetype name = -1) {
    QTest::addColumn<QStringList>("c");
    for (const QStringList& c : ReadCases(QStringLiteral(QUARN_TESTS_DIR "/") + file))
        QTest::newRow(qPrintable(name < 0 ? c.last() : c[name])) << c;
}
