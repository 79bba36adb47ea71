#pragma once

#include <QString>

// What of the test environment each system sets up its own way.
namespace kytest {

// Points what the program reads from the system (the user's folders, the
// temporary folder) at folders below `root`, and creates them.
void setUpSystemFolders(const QString &root);

// Removes what installs and the test left in the stores the system shares
// with other programs: the uninstall entries and the drive folders.
void clearSystemStores();

// testRoot() + "/" + name.
QString subFolder(const QString &name);

} // namespace kytest
