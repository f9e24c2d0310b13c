#pragma once

#include <string>
#include <vector>

namespace norvane::testing {

/// The statements that make the product database of the end-to-end tests at a version: the
/// versions table with an old row and the current one, and the INFO_DOC rows package 255's blob
/// file fills.
std::string ProductDatabaseScript(int version);

/// The memo of installing packages 254 and 255 (tests/e2e/packages) onto that database at 253:
/// the checks, then each package's steps. The database path is shown as given; the work
/// folder's files and the log kept in the program folder are joined by the platform's rules.
std::vector<std::string> TwoPackagesMemo(const std::string& databasePath,
                                         const std::string& workFolder,
                                         const std::string& programFolder);

} // namespace norvane::testing
