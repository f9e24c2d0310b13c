#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace norvane::app {

/// What would make the unpacked package number, in folder, fail on a customer's database
/// however the install went, each said as "<file>[:<line>]: <what>" with the file's path
/// below folder: a script holding a NUL byte (which is not run), a last statement without
/// its terminator (which is not run), a blob file name the loader refuses, and a last script
/// that does not insert the package's number into versions (so the install could never end
/// with the database at it). Checked when the installer is built, so that such a package is
/// never carried.
std::vector<std::string> PackageContentProblems(std::int32_t number, const std::string& folder);

} // namespace norvane::app
