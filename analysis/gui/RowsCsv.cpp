#include "RowsCsv.h"

#include <QAbstractItemModel>
#include <QSaveFile>

namespace lurvik {

namespace {

QString csvField(QString text) {
    if (!text.contains(QLatin1Char(',')) && !text.contains(QLatin1Char('"')) &&
        !text.contains(QLatin1Char('\r')) && !text.contains(QLatin1Char('\n')))
        return text;
    text.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

int saveRowsAsCsv(const QAbstractItemModel& rows, const QString& fileName, QString& errorText) {
    QSaveFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        errorText = file.errorString();
        return 1;
    }
    auto line = [&rows](auto cell) {
        QStringList fields;
        for (int column = 0; column < rows.columnCount(); ++column)
            fields << csvField(cell(column));
        return (fields.join(QLatin1Char(',')) + QStringLiteral("\r\n")).toUtf8();
    };
    file.write(line([&rows](int column) { return rows.headerData(column, Qt::Horizontal).toString(); }));
    for (int row = 0; row < rows.rowCount(); ++row)
        file.write(line([&rows, row](int column) { return rows.index(row, column).data().toString(); }));
    if (!file.commit()) {
        errorText = file.errorString();
        return 1;
    }
    return 0;
}

} // namespace lurvik
