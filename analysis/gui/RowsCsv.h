#pragma once

#include <QString>

class QAbstractItemModel;

namespace lurvik {

// Writes a list's rows as the command line's CSV reports are written (RFC 4180): a header line of
// the column titles, a field quoted when it holds a comma, a quote or a line break (quotes
// doubled), CRLF line ends, UTF-8. The rows go out as the list shows them, in its order. The file
// is written beside its target and put in place when complete. 0, or 1 with the reason in
// errorText.
int saveRowsAsCsv(const QAbstractItemModel& rows, const QString& fileName, QString& errorText);

} // namespace lurvik
