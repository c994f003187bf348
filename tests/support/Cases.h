#pragma once
// Test cases kept as data beside a test: a header row naming the columns,
// then one case a line, fields split by tabs. Blank lines and lines starting
// with '#' are skipped. In a field, \n \r \t \0 and \\ stand for their
// characters; any other backslash stands for itself, so Windows paths read
// as written. One column may be named "NAME...": it takes any number of
// fields, and the columns after it the row's last ones.

#include <QFile>
#include <QStringList>
#include <QTest>

// One case, its fields read by their column's name. A row with too few
// fields, or a name no column has, stops the test program, naming the line.
class Row {
public:
    Row() = default;
    Row(const QStringList& columns, const QStringList& fields,
        const QString& where = QStringLiteral("a row made in code"))
        : columns_(columns), fields_(fields), where_(where) {
        while (open_ < columns_.size() && !columns_[open_].endsWith(u"..."))
            ++open_;
        if (open_ < columns_.size() ? fields_.size() < columns_.size() - 1
                                    : fields_.size() != columns_.size())
            qFatal("%s: %lld fields for the columns %s", qPrintable(where_),
                   qlonglong(fields_.size()), qPrintable(columns_.join(u' ')));
    }

    QString operator[](const char* column) const {
        const qsizetype at = columns_.indexOf(QLatin1String(column));
        if (at < 0)
            qFatal("%s: no column %s", qPrintable(where_), column);
        return fields_[at < open_ ? at : fields_.size() - (columns_.size() - at)];
    }
    // The fields of the columns named, in that order.
    QStringList fields(std::initializer_list<const char*> columns) const {
        QStringList fields;
        for (const char* column : columns)
            fields << (*this)[column];
        return fields;
    }
    // The fields of the column "NAME...", given its NAME.
    QStringList rest(const char* column) const {
        if (open_ == columns_.size() || columns_[open_].chopped(3) != QLatin1String(column))
            qFatal("%s: no column %s...", qPrintable(where_), column);
        return fields_.mid(open_, fields_.size() - columns_.size() + 1);
    }

private:
    QStringList columns_, fields_;
    QString where_;
    qsizetype open_ = 0; // the column "NAME...", or past the last
};

// One QTest row a case of a file under tests/, in the Row column "row", named
// by the field of the column `name`. Gives the file's columns, for rows made
// in code.
inline QStringList AddCases(const char* file, const char* name = "case") {
    QTest::addColumn<Row>("row");
    const QString path = QStringLiteral(QUARN_TESTS_DIR "/") + file;
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
        qFatal("cannot read %s", qPrintable(path));
    static const QString escaped = QStringLiteral("nrt0\\"),
                         meant = QString::fromUtf16(u"\n\r\t\0\\", 5);
    QStringList columns;
    int number = 0;
    for (const QString& line : QString::fromUtf8(f.readAll()).split(u'\n')) {
        ++number;
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        QStringList fields = line.split(u'\t');
        for (QString& field : fields) // an escape's character is not read again
            for (qsizetype i = 0; (i = field.indexOf(u'\\', i)) >= 0 && i + 1 < field.size(); ++i)
                if (const qsizetype at = escaped.indexOf(field[i + 1]); at >= 0)
                    field.replace(i, 2, meant[at]);
        if (columns.isEmpty()) {
            columns = fields;
            continue;
        }
        const Row row(columns, fields, path + u':' + QString::number(number));
        QTest::newRow(qPrintable(row[name])) << row;
    }
    return columns;
}
