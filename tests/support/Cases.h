#pragma once
// Test cases kept in a text file beside the test: a case a line, its fields
// separated by tabs, with \n \r \t \0 and \\ for what a line cannot hold.

#include <QFile>
#include <QList>
#include <QStringList>

inline QList<QStringList> ReadCases(const QString& file) {
    QFile f(file);
    if (!f.open(QIODevice::ReadOnly))
        qFatal("cannot read %s", qPrintable(file));
    QList<QStringList> cases;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n', Qt::SkipEmptyParts)) {
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
