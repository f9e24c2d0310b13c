// The real installer, carrying packages 255 and 256 of packages/resume, is killed (SIGKILL)
// at counted points of a real update from 254 (a commit of its own, a program file put in
// place, before or after either) and run again: every time, the database and the program
// folder end as an update that was never interrupted leaves them, byte for byte.
#include "support/child_process.h"
#include "support/temp_folder.h"
#include "support/test_database.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <set>
#include <sstream>
#include <string>
#include <vector>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr int Killed = 128 + 9;

/// A product folder at release 254 with the installer in it.
class Product {
public:
    Product() {
        fs::create_directory(m_program.Path() / "Report");
        fs::copy_file(NORVANE_INSTALLER, Installer());
        fs::permissions(Installer(), fs::perms::owner_all);
        m_database.Execute("create table versions (code integer, build integer, data integer,"
                           " update_date timestamp);"
                           "create table INFO_DOC (ID integer not null primary key,"
                           " NOTE_U blob sub_type 0);"
                           "insert into INFO_DOC (ID) values (7);"
                           "insert into INFO_DOC (ID) values (10);"
                           "insert into versions values (1, 4, 254, '2020-01-01');");
        WriteFile(m_program.Path() / "nrv.ini",
                  "[Common]\r\nPathBaseIB=" + m_database.Path() + "\r\nTypeServer=0\r\n");
    }

    std::string Installer() const { return m_program / "norvane-update"; }

    /// Runs the installer unattended; fault names what the fault library is to do.
    int Run(const std::vector<std::string>& fault = {}) {
        std::vector<std::string> environment{"TMPDIR=" + m_temp.Str(), "DISPLAY="};
        if (!fault.empty()) {
            environment.insert(environment.end(), {"NORVANE_FBCLIENT=" NORVANE_FAULT_INJECTION,
                                                   "LD_PRELOAD=" NORVANE_FAULT_INJECTION});
            environment.insert(environment.end(), fault.begin(), fault.end());
        }
        ChildProcess installer({Installer(), "--unattended"}, environment);
        const int status = installer.Wait();
        m_lastOutput = installer.Out() + installer.Err();
        return status;
    }
    const std::string& LastOutput() const { return m_lastOutput; }

    /// Everything an update changes in the database, as text to compare.
    std::string DatabaseState() {
        std::string state = m_database.ExtractMetadata();
        state += m_database.Output("set list on;"
                                   "select N, T from NOKEY order by N, T;"
                                   "select code, build, data, update_date from versions"
                                   " order by update_date;"
                                   "select PACKAGE, ITEM, DIGEST, ORDINAL"
                                   " from NORVANE$UPDATE_JOURNAL order by 1, 2, 4;"
                                   "select ID, TAKEN_AT from NORVANE$UPDATE_LOCK;");
        for (const int id : {7, 10})
            state += "blob " + std::to_string(id) + ": " +
                     m_database.QueryBlob("select NOTE_U from INFO_DOC where ID = " +
                                          std::to_string(id)) +
                     "\n";
        // Every product's database has a path of its own.
        for (std::size_t at = state.find(m_database.Path()); at != std::string::npos;
             at = state.find(m_database.Path()))
            state.replace(at, m_database.Path().size(), "<database>");
        return state;
    }

    /// Every file of the program folder but the installer, nrv.ini (which names the product's
    /// own database) and the history, with its bytes.
    std::map<std::string, std::string> ProgramFolder() const {
        std::map<std::string, std::string> files;
        for (const auto& entry : fs::recursive_directory_iterator(m_program.Path())) {
            const std::string relative = fs::relative(entry.path(), m_program.Path()).string();
            if (relative == "norvane-update" || relative == "nrv.ini" ||
                relative == "norvane-update.log")
                continue;
            files[relative] = entry.is_regular_file() ? ReadFile(entry.path()) : "<folder>";
        }
        return files;
    }

    /// The run blocks of the history.
    int HistoryBlocks() const {
        const std::string history = ReadFile(m_program.Path() / "norvane-update.log");
        int blocks = 0;
        for (std::size_t at = history.find("=== "); at != std::string::npos;
             at = history.find("=== ", at + 1))
            ++blocks;
        return blocks;
    }

private:
    TempFolder m_program;
    TempFolder m_temp;
    TestDatabase m_database;
    std::string m_lastOutput;
};

/// The state an uninterrupted update leaves, and how many points a run has to be cut at.
struct Reference {
    int status = -1;
    std::string database;
    std::map<std::string, std::string> programFolder;
    long commits = 0;
    long renames = 0;
};

// The reference is made once for all the test processes of a build and kept in a file,
// written whole under another name first, so that one process never reads half of another's.
void Save(const Reference& reference, const fs::path& file) {
    std::ostringstream out;
    const auto text = [&](const std::string& value) { out << value.size() << ' ' << value; };
    out << reference.status << ' ' << reference.commits << ' ' << reference.renames << ' ';
    text(reference.database);
    out << ' ' << reference.programFolder.size() << ' ';
    for (const auto& [name, bytes] : reference.programFolder) {
        text(name);
        text(bytes);
    }
    const fs::path staged = file.string() + "." + std::to_string(::getpid());
    WriteFile(staged, out.str());
    fs::rename(staged, file);
}

std::optional<Reference> Load(const fs::path& file) {
    std::istringstream in(ReadFile(file));
    Reference reference;
    const auto text = [&](std::string& value) {
        std::size_t size = 0;
        in >> size;
        in.get();
        value.resize(size);
        in.read(value.data(), static_cast<std::streamsize>(size));
    };
    std::size_t files = 0;
    if (!(in >> reference.status >> reference.commits >> reference.renames))
        return std::nullopt;
    text(reference.database);
    in >> files;
    for (std::size_t i = 0; i < files; ++i) {
        std::string name;
        std::string bytes;
        text(name);
        text(bytes);
        reference.programFolder[name] = bytes;
    }
    return in ? std::optional(reference) : std::nullopt;
}

const Reference& UninterruptedRun() {
    static const Reference reference = [] {
        const fs::path cache =
            fs::path(NORVANE_RESUME_CACHE) /
            ("reference-" +
             std::to_string(fs::last_write_time(NORVANE_INSTALLER).time_since_epoch().count()));
        if (auto saved = Load(cache))
            return *saved;
        Product product;
        TempFolder tally;
        Reference made;
        made.status = product.Run({"NORVANE_FAULT_TALLY=" + tally / "tally"});
        made.database = product.DatabaseState();
        made.programFolder = product.ProgramFolder();
        std::istringstream(ReadFile(tally.Path() / "tally")) >> made.commits >> made.renames;
        fs::create_directories(cache.parent_path());
        Save(made, cache);
        return made;
    }();
    return reference;
}

TEST(ResumeReference, AnUninterruptedUpdateReachesTheNewestPackage) {
    const Reference& reference = UninterruptedRun();
    // 255.02.sql has a statement that always fails.
    EXPECT_EQ(reference.status, 3);
    EXPECT_NE(reference.database.find("DATA                            256"), std::string::npos)
        << reference.database;
    EXPECT_EQ(reference.programFolder.at("Norvanework.exe"), "Program 256\r\n");
    EXPECT_EQ(reference.programFolder.at("Report/a.fr3"), "template a of 255\r\n");
    EXPECT_EQ(reference.programFolder.count("norvane-update.logs/255/255.02.sql.log"), 1u);
    // 4 program files of 255, the kept log of 255.02.sql and 2 program files of 256; a commit
    // for each of the 59 statements that succeed, each blob file and the journal's own work.
    EXPECT_EQ(reference.renames, 7);
    EXPECT_GT(reference.commits, 62);
}

/// One point to cut a run at: a commit at a share of all the run's commits (in fifteenths),
/// or the nth program file put in place; before the call or after it returned.
struct KillPoint {
    std::string kind; // "COMMIT" or "RENAME"
    long index;
    std::string when; // "before" or "after"

    long Number(const Reference& reference) const {
        if (kind == "RENAME")
            return index;
        return std::max(1L, reference.commits * index / 15);
    }
};

void PrintTo(const KillPoint& point, std::ostream* out) {
    *out << point.kind << " " << point.index << " " << point.when;
}

class KilledRunTest : public ::testing::TestWithParam<KillPoint> {};

TEST_P(KilledRunTest, ARerunEndsAsAnUninterruptedRun) {
    const Reference& reference = UninterruptedRun();
    const KillPoint& point = GetParam();
    Product product;
    const int killed =
        product.Run({"NORVANE_FAULT_" + point.kind + "=" + std::to_string(point.Number(reference)),
                     "NORVANE_FAULT_WHEN=" + point.when});
    ASSERT_EQ(killed, Killed) << product.LastOutput();

    // Updated (with the failures of 255.02.sql when it ran again), or nothing to do when the
    // run was cut after its last package was complete.
    const int rerun = product.Run();
    EXPECT_TRUE(rerun == 0 || rerun == 3 || rerun == 10) << rerun << "\n" << product.LastOutput();
    EXPECT_EQ(product.DatabaseState(), reference.database);
    EXPECT_EQ(product.ProgramFolder(), reference.programFolder);

    // The run is complete: nothing is left to do, and the killed run left no block of its own.
    EXPECT_EQ(product.Run(), 10) << product.LastOutput();
    EXPECT_EQ(product.HistoryBlocks(), 2);
}

// Points chosen by count over the whole run: commits spread from the run lock through every
// script, the blob files and the record of the complete package, each cut before and after
// the commit; every program file and kept log put in place, before and after.
std::vector<KillPoint> KillPoints() {
    std::vector<KillPoint> points;
    for (long fifteenth = 1; fifteenth <= 15; ++fifteenth) {
        points.push_back({"COMMIT", fifteenth, "before"});
        points.push_back({"COMMIT", fifteenth, "after"});
    }
    for (long rename = 1; rename <= 7; ++rename) {
        points.push_back({"RENAME", rename, "before"});
        points.push_back({"RENAME", rename, "after"});
    }
    return points;
}

INSTANTIATE_TEST_SUITE_P(Points, KilledRunTest, ::testing::ValuesIn(KillPoints()),
                         [](const auto& info) {
                             return info.param.kind + std::to_string(info.param.index) + "_" +
                                    info.param.when;
                         });

} // namespace
} // namespace norvane::testing
