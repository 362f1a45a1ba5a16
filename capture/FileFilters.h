#pragma once

#include <QString>
#include <QStringList>

// A file-dialog filter in the "Description|patterns|Description|patterns||" form the windows are
// specified with, as Qt's name filters: "csv Files (*.csv)|*.csv|All Files (*.*)|*.*||" gives
// "csv Files (*.csv)" and "All Files (*)". The description's own pattern list is replaced by the
// real patterns, and "*.*" (every file on Windows) becomes "*" so files without an extension
// show too.
QStringList QtNameFilters(const QString& windowsFilter);
