#pragma once

#include <string>

namespace norvane::testing {

enum class OwnTables { Kept, LeftOut };

/// The user's tables, columns, domains, indices, constraints, views, procedures, triggers and
/// sequences with their values, then every row of every table (blobs by size and digest), read
/// through the client: the same on both systems, where isql's extract is not. The installer's
/// own tables (NORVANE$...) may be left out.
std::string Dump(const std::string& databaseName, OwnTables ownTables = OwnTables::Kept);

} // namespace norvane::testing
