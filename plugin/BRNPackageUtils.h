// Package definition files: reading one, writing one, exporting from the library.
#pragma once

#include "BRNPackage.h"
#include "IDFile.h"
#include "IBRNPrefs.h"

#include <vector>

namespace BRNPackageUtils {
// Reads a package definition file. 0 when a package with a name was read; otherwise 1
// and, when asked, a message saying why.
int32 LoadPackageFile(const IDFile& file, BRNPackage& package, PMString* error = nullptr);
// Writes the package as a definition file (declaration, "brindle" root, "package"
// element), replacing the file in one step. False when it could not be stored.
bool16 WritePackageFile(const IDFile& file, const BRNPackage& package);
// "BRN_" + name + "_v" + version + ".xml".
PMString ProposedFileName(const PMString& name, uint32 version);
// Writes the named library package to a file that the user chooses. A modified package
// has its version raised in the library first. False when nothing was written.
bool16 doExportPackage(const PMString& name);
// Loads each file and puts its package into the library, replacing one of the same name.
// When a file is not a valid package file nothing is changed and the errors say why.
bool16 ImportPackageFiles(const std::vector<IDFile>& files, std::vector<PMString>* errors);
// Removes the first library package of that name and saves the library (also when there
// was none). Nothing happens for an empty name.
void DeleteLibraryPackage(const PMString& name);
// The settings object of the session, referenced, or null.
IBRNPrefs* QueryPrefs();
} // namespace BRNPackageUtils
