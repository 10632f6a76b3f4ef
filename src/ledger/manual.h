// Where the shopkeepers' manual is: index.html in help/ beside the program (the build folder) or
// where an installation puts it (share/warehouse/help beside bin/).
#pragma once

#include <QString>
#include <QStringList>

namespace ledger {

// The folders looked in for index.html, in this order.
QStringList manualFolders();
// Tests look elsewhere; an empty list goes back to the folders beside the program.
void setManualFolders(const QStringList &folders);
// The manual's index.html, or empty when there is none.
QString manualFile();
// What `warehouse --help` says about the manual: the file found, or where an installation keeps it.
QString manualHint();

} // namespace ledger
