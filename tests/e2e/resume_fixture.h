#pragma once

// A product folder at release 254 for the tests that cut a real installer run off and run it
// again, and the state an update that was never interrupted leaves it in.

#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_database.h"

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace norvane::testing {

/// The status of an installer ended by SIGKILL.
constexpr int Killed = 128 + 9;

/// How the installer commits: in groups (its default), or each statement on its own.
enum class Commits { Grouped, OnePerStatement };

/// A product folder at release 254 with the installer (carrying packages 255 and 256 of
/// packages/resume) in it.
class Product {
public:
    explicit Product(Commits commits = Commits::Grouped);

    std::string Installer() const { return m_program / "norvane-update"; }
    /// Puts another build of the installer in the product folder, as a new issue of it.
    void ReplaceInstaller(const std::string& path);
    /// The count a "select count(*) ..." of the product database gives.
    std::int64_t Count(const std::string& select);

    /// nrv.ini names the database through this server.
    void UseServer(const std::string& server);
    /// nrv.ini limits how long a statement waits for rows another connection holds.
    void UseLockWaitSeconds(int seconds);
    /// Runs statements on the product database through isql-fb and commits.
    void Execute(const std::string& isqlScript);

    /// Runs the installer unattended; fault names what the fault library is to do.
    int Run(const std::vector<std::string>& fault = {});
    /// Runs the installer with a command line of its own.
    int RunWith(const std::vector<std::string>& arguments,
                const std::vector<std::string>& fault = {});
    const std::string& LastOutput() const { return m_lastOutput; }
    /// Starts the installer unattended, and returns while it runs.
    std::unique_ptr<ChildProcess> Start(const std::vector<std::string>& fault = {}) const;

    /// Everything an update changes in the database, as text to compare: the metadata, every
    /// row of the tables the packages write, and the rows no transaction wrote.
    std::string DatabaseState();

    /// Every file of the program folder but the installer, nrv.ini (which names the product's
    /// own database) and the history, with its bytes.
    std::map<std::string, std::string> ProgramFolder() const;

    /// The run blocks of the history.
    int HistoryBlocks() const;
    std::string History() const;

    std::string WorkFolder() const { return m_temp / "nrv7.nvx"; }
    std::string DatabaseFolder() const { return m_database.Folder(); }
    std::string DatabasePath() const { return m_database.Path(); }

private:
    void WriteIni();
    std::vector<std::string> Environment(const std::vector<std::string>& fault) const;

    TempFolder m_program;
    TempFolder m_temp;
    TestDatabase m_database;
    std::string m_lastOutput;
    Commits m_commits;
    std::string m_server;
    int m_lockWaitSeconds = -1;
};

/// The state an uninterrupted update leaves, and how many points a run has to be cut at.
struct Reference {
    int status = -1;
    std::string database;
    std::map<std::string, std::string> programFolder;
    long commits = 0;
    long renames = 0;
    long executes = 0;
    /// The pages each CREATE TABLE commit of the run wrote, in order.
    std::vector<long> createTableWrites;
};

/// Made once for all the test processes of a build, for each way of committing.
const Reference& UninterruptedRun(Commits commits = Commits::Grouped);

} // namespace norvane::testing
