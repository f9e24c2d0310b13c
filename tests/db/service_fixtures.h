#pragma once

// What the tests of backups and restores share: databases that hold every kind of object, a dump
// to compare two of them, and a fixture that runs each case against the embedded engine and the
// loopback server.

#include "db/services.h"
#include "support/database_dump.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

namespace norvane::testing {

/// The account the program attaches with.
extern const db::ConnectionParams ProgramAccount;

/// Bytes of every value, the same for a size on every run.
std::string BinaryBytes(std::size_t size);

/// Fills a database as the product's: a domain, keys, an index, a view, a procedure, a
/// trigger, a sequence, text in UTF-8, blobs of text and of bytes (one of 200 KiB, many
/// segments).
void FillProductDatabase(TestDatabase& file);

/// Whether one of the lines holds fragment.
bool AnyHolds(const std::vector<std::string>& lines, const std::string& fragment);

enum class Engine { Embedded, Server };

/// Each case runs against the embedded engine of this process and against the loopback
/// server; the server's cases skip, saying why, when no server is named.
class ServiceManagerTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override;

    /// The name a program would attach the file with.
    std::string NameOf(const std::string& path) const;
    db::ServiceManager Manager(const std::string& path) const;

    std::optional<std::string> m_server;
};

} // namespace norvane::testing
