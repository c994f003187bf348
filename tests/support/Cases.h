#pragma once
// Test tables kept as text beside the test: one case a line, fields split by
// tabs, "#" lines and blank lines skipped. In a field a backslash escapes:
// \n, \r, \t and \0 stand for LF, CR, tab and NUL, and a doubled one for itself.

#include <QFile>
#include <QStringList>
#include <QTest>

inline QList<QStringList> ReadCases(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file));
    QList<QStringList> cases;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        if (line.trimmed().isEmpty() || line.startsWith(u'#'))
            continue;
        QStringList fields;
        for (const QString& raw : line.split(u'\t')) {
            QString field;
            for (qsizetype i = 0; i < raw.size(); ++i) {
                const QChar c = raw[i] == u'\\' && i + 1 < raw.size() ? raw[++i] : QChar();
                field += c.isNull() ? raw[i] : c == u'n' ? QChar(u'\n') : c == u'r' ? QChar(u'\r')
                         : c == u't' ? QChar(u'\t') : c == u'0' ? QChar(0) : c;
            }
            fields << field;
        }
        cases << fields;
    }
    return cases;
}

// One QTest row a case, named by its last field, in the QStringList column "c".
inline void AddCases(const QString& file) {
    QTest::addColumn<QStringList>("c");
    for (const QStringList& c : ReadCases(file))
        QTest::newRow(qPrintable(c.last())) << c;
}
