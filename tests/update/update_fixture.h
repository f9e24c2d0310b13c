#pragma once

#include "db/glob_db.h"
#include "support/recording_window.h"
#include "support/temp_folder.h"
#include "support/test_database.h"
#include "update/update_context.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>
#include <string>

namespace norvane::update {

/// The line that frames a failure's message in an update log, as the product's logs have it.
inline constexpr std::string_view Separator =
    "------------------------- error ------------------------------";

/// A database attached through the program's own connection, a recording window and a folder
/// for scripts, blob files and logs.
class UpdateFixture : public ::testing::Test {
protected:
    /// Attaches on first use. Tables made through isql-fb beforehand are seen by the first
    /// statement, which runs in the transaction that attaching starts.
    UpdateContext& Context() {
        if (!m_context) {
            globDB = std::make_unique<db::CGlobDB>("", server, database.Path());
            m_context.emplace(UpdateContext{*globDB, window});
        }
        return *m_context;
    }

    std::string Write(const std::string& name, std::string_view bytes) {
        const std::string path = folder / name;
        testing::WriteFile(path, bytes);
        return path;
    }

    /// What one failure adds to a log: the record, then the message framed by separators.
    static std::string LogEntryBytes(std::string_view record, std::string_view message) {
        const std::string separator(Separator);
        return std::string(record) + separator + "\r\n" + std::string(message) + "\r\n" +
               separator + "\r\n\r\n";
    }

    testing::TestDatabase database;
    /// The server Context attaches through; the embedded engine when empty.
    std::string server;
    testing::TempFolder folder;
    testing::RecordingWindow window;
    std::unique_ptr<db::CGlobDB> globDB;

private:
    std::optional<UpdateContext> m_context;
};

} // namespace norvane::update
