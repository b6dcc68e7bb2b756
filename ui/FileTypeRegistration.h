#pragma once

#include <QString>

namespace lurvik {

// Makes site map files (".web", "application/lurvik") open with this program, the freedesktop way:
// a shared-mime-info package and a .desktop entry under $XDG_DATA_HOME (~/.local/share). Files
// already holding the same text are left alone, so calling this often costs a read. Failures are
// silent: the program works without the association.
namespace FileTypeRegistration {

// programPath is the program to start; dataHome empty means $XDG_DATA_HOME or ~/.local/share.
void registerFileType(const QString& programPath, const QString& dataHome = {});

QString mimePackage();
QString desktopEntry(const QString& programPath);

} // namespace FileTypeRegistration

} // namespace lurvik
