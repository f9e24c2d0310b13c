// The real installer rehearses the update of packages 255 and 256 of packages/resume on a copy of
// the product database: it ends as a real run would, and neither the database nor the program
// folder changes, also when the rehearsal is cut off.
#include "resume_fixture.h"

#include "db/database.h"
#include "support/scratch_mount.h"
#include "support/test_server.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <sys/mount.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

namespace norvane::testing {
namespace {

namespace fs = std::filesystem;

const std::vector<std::string> Rehearse = {"--unattended", "--rehearse"};

// The files below folder, by their paths inside it.
std::vector<std::string> FilesBelow(const std::string& folder) {
    std::vector<std::string> files;
    if (!fs::exists(folder))
        return files;
    for (const auto& entry : fs::recursive_directory_iterator(folder)) {
        if (entry.is_regular_file())
            files.push_back(fs::relative(entry.path(), folder).string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

// The history's last block.
std::string LastBlock(const std::string& history) {
    const std::size_t start = history.rfind("=== ");
    return start == std::string::npos ? std::string() : history.substr(start);
}

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

enum class Engine { Embedded, Server };

class RehearsalTest : public ::testing::TestWithParam<Engine> {
protected:
    void SetUp() override {
        if (GetParam() == Engine::Server) {
            const std::string server = ServerForTest();
            if (server.empty())
                GTEST_SKIP() << NoServerReason;
            m_product.UseServer(server);
        }
    }

    Product m_product;
};

TEST_P(RehearsalTest, EndsAsARealRunWouldAndChangesNeitherTheDatabaseNorTheProgramFolder) {
    const std::string database = m_product.DatabaseState();
    const auto programFolder = m_product.ProgramFolder();
    const int status = m_product.RunWith(Rehearse);
    const std::string& output = m_product.LastOutput();

    // 255.02.sql has a statement that always fails.
    EXPECT_EQ(status, 3) << output;
    EXPECT_EQ(output.rfind("Репетиція оновлення: пакети буде застосовано до копії бази даних, "
                           "саму базу даних і теку програми не буде змінено\n",
                           0),
              0u)
        << output;
    for (const char* line :
         {"Резервна копія бази даних...[OK]\n", "Копія бази даних для репетиції...[OK]\n",
          "Norvanework.exe...[репетиція: не скопійовано]\n", "255.02.sql\n",
          "Видалення копії бази даних...[OK]\n"})
        EXPECT_TRUE(Holds(output, line)) << line << output;
    EXPECT_EQ(m_product.DatabaseState(), database);
    EXPECT_EQ(m_product.ProgramFolder(), programFolder);

    // The failure is in its log, kept in the work folder; the copy and its backup are gone.
    const std::string rehearsal = m_product.WorkFolder() + "/rehearsal";
    EXPECT_EQ(FilesBelow(rehearsal), std::vector<std::string>{"logs/255/255.02.sql.log"});
    EXPECT_TRUE(Holds(ReadFile(rehearsal + "/logs/255/255.02.sql.log"), "NO_SUCH_TABLE"));
    EXPECT_EQ(FilesBelow(m_product.DatabaseFolder()), std::vector<std::string>{"test.fdb"});

    const std::string block = LastBlock(m_product.History());
    EXPECT_TRUE(Holds(block, "РЕПЕТИЦІЯ на копії бази даних")) << block;
    EXPECT_TRUE(Holds(block, "\nрепетиція на копії: ")) << block;
    EXPECT_TRUE(Holds(block, "журнал " + rehearsal + "/logs/255/255.02.sql.log")) << block;
    EXPECT_TRUE(Holds(block, "\nверсія копії після оновлення: 256\n")) << block;
    EXPECT_TRUE(Holds(block, "\nрезультат: оновлено, але з помилками (код 3)\n")) << block;
    EXPECT_FALSE(Holds(block, "\nверсія після оновлення")) << block;
}

// Nothing of the rehearsal is in the way of the update that follows it.
TEST_P(RehearsalTest, TheUpdateAfterItEndsAsIfThereHadBeenNone) {
    ASSERT_EQ(m_product.RunWith(Rehearse), 3) << m_product.LastOutput();
    EXPECT_EQ(m_product.Run(), 3) << m_product.LastOutput();
    if (GetParam() == Engine::Embedded) {
        EXPECT_EQ(m_product.DatabaseState(), UninterruptedRun().database);
        EXPECT_EQ(m_product.ProgramFolder(), UninterruptedRun().programFolder);
    }
    EXPECT_EQ(m_product.RunWith(Rehearse), 10) << m_product.LastOutput();
    EXPECT_EQ(m_product.HistoryBlocks(), 3);
}

// On a database another computer updated, a rehearsal of the program files alone lists them and
// copies none; the real run after it copies them.
TEST_P(RehearsalTest, OfProgramFilesOnlyCopiesNone) {
    ASSERT_EQ(m_product.Run(), 3) << m_product.LastOutput();
    const fs::path program = fs::path(m_product.Installer()).parent_path();
    const std::string newest = ReadFile(program / "Norvanework.exe");
    WriteFile(program / "Norvanework.exe", "Program 255\r\n");
    const auto folder = m_product.ProgramFolder();
    const std::string database = m_product.DatabaseState();

    EXPECT_EQ(m_product.RunWith(Rehearse), 0) << m_product.LastOutput();
    EXPECT_TRUE(Holds(m_product.LastOutput(), "Norvanework.exe...[репетиція: не скопійовано]"))
        << m_product.LastOutput();
    EXPECT_EQ(m_product.ProgramFolder(), folder);
    EXPECT_EQ(m_product.DatabaseState(), database);

    EXPECT_EQ(m_product.Run(), 0) << m_product.LastOutput();
    EXPECT_EQ(ReadFile(program / "Norvanework.exe"), newest);
    EXPECT_EQ(m_product.DatabaseState(), database);
    EXPECT_EQ(m_product.Run(), 10) << m_product.LastOutput();
}

INSTANTIATE_TEST_SUITE_P(Engines, RehearsalTest,
                         ::testing::Values(Engine::Embedded, Engine::Server), [](const auto& info) {
                             return info.param == Engine::Embedded ? "Embedded" : "Server";
                         });

// A work folder on a disk with room for a few entries only (a tmpfs of so many inodes).
class InodeLimitedFolder {
public:
    InodeLimitedFolder(const std::string& folder, int inodes) : m_folder(folder) {
        fs::create_directories(folder);
        const std::string options = "nr_inodes=" + std::to_string(inodes) + ",mode=0700";
        if (::mount("tmpfs", folder.c_str(), "tmpfs", 0, options.c_str()) != 0)
            m_whyNot = std::string("mounting a tmpfs: ") + std::strerror(errno);
    }
    ~InodeLimitedFolder() {
        if (m_whyNot.empty())
            ::umount2(m_folder.c_str(), MNT_DETACH);
    }
    InodeLimitedFolder(const InodeLimitedFolder&) = delete;
    InodeLimitedFolder& operator=(const InodeLimitedFolder&) = delete;

    const std::string& WhyNot() const { return m_whyNot; }

private:
    std::string m_folder;
    std::string m_whyNot;
};

// The rehearsal notes each of its files in its records before it makes the file: where the
// records cannot be written, it ends before a backup is made.
struct RecordsFailure {
    const char* name;
    // Room for the work folder, its lock, and then...
    int inodes;
    // ...the error, after the work folder's path.
    const char* error;
};

void PrintTo(const RecordsFailure& failure, std::ostream* out) {
    *out << failure.name;
}

class RecordsFailureTest : public ::testing::TestWithParam<RecordsFailure> {};

TEST_P(RecordsFailureTest, StopsTheRehearsalBeforeTheBackup) {
    const RecordsFailure& failure = GetParam();
    Product product;
    const std::string database = product.DatabaseState();
    const InodeLimitedFolder work(product.WorkFolder(), failure.inodes);
    if (!work.WhyNot().empty())
        GTEST_SKIP() << work.WhyNot();
    const std::string error = failure.error;
    const std::string expected =
        error.substr(0, error.find('<')) + product.WorkFolder() + error.substr(error.find('>') + 1);

    EXPECT_EQ(product.RunWith(Rehearse), 2) << product.LastOutput();
    EXPECT_TRUE(Holds(product.LastOutput(), "error: " + expected + "\n")) << expected << "\n"
                                                                          << product.LastOutput();
    EXPECT_FALSE(Holds(product.LastOutput(), "Копія бази даних для репетиції"))
        << product.LastOutput();
    EXPECT_EQ(product.DatabaseState(), database);
    EXPECT_EQ(FilesBelow(product.DatabaseFolder()), std::vector<std::string>{"test.fdb"});
    EXPECT_TRUE(Holds(LastBlock(product.History()), "\nпомилка: " + expected + "\n"))
        << product.History();
}

INSTANTIATE_TEST_SUITE_P(
    Records, RecordsFailureTest,
    ::testing::Values(
        RecordsFailure{"FolderCannotBeMade", 2,
                       "не вдалося створити каталог <work>/rehearsal: No space left on device"},
        RecordsFailure{"NoteCannotBeWritten", 3,
                       "резервну копію бази даних не створено: не вдалося записати "
                       "<work>/rehearsal/rehearsal-files.txt: No space left on device"}),
    [](const auto& info) { return std::string(info.param.name); });

// A disk that holds the backup but not the copy: the rehearsal ends with the restore's error,
// and neither file stays.
TEST(RehearsalFailures, ARestoreThatFailsEndsItAndLeavesNoFile) {
    Product product;
    const std::string database = product.DatabaseState();
    TempFolder backups;
    std::string whyNot;
    const auto disk = ScratchMount::SmallDisk(backups.Str(), 256 * 1024, whyNot);
    if (!disk)
        GTEST_SKIP() << whyNot;

    EXPECT_EQ(product.RunWith({"--unattended", "--rehearse", "--backup", backups.Str()}), 2)
        << product.LastOutput();
    const std::string& output = product.LastOutput();
    EXPECT_TRUE(Holds(output, "Резервна копія бази даних...[OK]\n")) << output;
    EXPECT_TRUE(Holds(output, "error: копію бази даних для репетиції не створено: ")) << output;
    EXPECT_TRUE(Holds(output, "No space left on device")) << output;
    EXPECT_TRUE(Holds(output, "Видалення копії бази даних...[OK]\n")) << output;
    EXPECT_TRUE(FilesBelow(backups.Str()).empty());
    EXPECT_TRUE(FilesBelow(product.WorkFolder() + "/rehearsal").empty());
    EXPECT_EQ(product.DatabaseState(), database);
    const std::string block = LastBlock(product.History());
    EXPECT_TRUE(Holds(block, "\nпомилка: копію бази даних для репетиції не створено: ")) << block;
    EXPECT_TRUE(Holds(block, "\nкопію бази даних і її резервну копію видалено\n")) << block;
}

// A rehearsal killed on a server of another machine left its backup there: the next run says
// where, once, and goes on.
TEST(RehearsalFailures, ABackupLeftOnAnotherServerIsSaidOnce) {
    Product product;
    const std::string records = product.WorkFolder() + "/rehearsal";
    WriteFile(records + "/rehearsal-files.txt",
              "backup\tdbhost/3050\t/srv/копії/test-254-20240307T090501.fbk\n");
    const std::string warning = "резервна копія репетиції лишилась на сервері dbhost/3050: "
                                "/srv/копії/test-254-20240307T090501.fbk; видаліть її там";

    EXPECT_EQ(product.RunWith(Rehearse), 3) << product.LastOutput();
    EXPECT_TRUE(Holds(product.LastOutput(), warning)) << product.LastOutput();
    EXPECT_TRUE(Holds(LastBlock(product.History()), "\nпопередження: " + warning + "\n"))
        << product.History();
    EXPECT_FALSE(fs::exists(records + "/rehearsal-files.txt"));

    EXPECT_EQ(product.RunWith(Rehearse), 3) << product.LastOutput();
    EXPECT_FALSE(Holds(product.LastOutput(), warning)) << product.LastOutput();
}

// This machine's name, when it leads to the loopback address the test server listens on.
std::string NameOfThisMachineOnLoopback() {
    char name[256] = {};
    if (::gethostname(name, sizeof name - 1) != 0)
        return {};
    addrinfo hints{};
    hints.ai_family = AF_INET;
    addrinfo* found = nullptr;
    if (::getaddrinfo(name, nullptr, &hints, &found) != 0)
        return {};
    const bool loopback = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr ==
                          htonl(INADDR_LOOPBACK);
    ::freeaddrinfo(found);
    return loopback ? name : std::string();
}

// A server named so that the installer cannot tell it is this machine: the rehearsal runs on
// the server's own folder, and its backup, beyond this process's reach, is left there and said.
TEST(RehearsalOnAServer, ByANameOfAnotherMachineLeavesItsBackupAndSaysWhere) {
    const std::string server = ServerForTest();
    if (server.empty())
        GTEST_SKIP() << NoServerReason;
    const std::string host = NameOfThisMachineOnLoopback();
    if (host.empty())
        GTEST_SKIP() << "this machine's name does not lead to 127.0.0.1";
    // The server's port, when it is not the default one ("127.0.0.1/3070").
    const std::size_t slash = server.find('/');
    const std::string port = slash == std::string::npos ? "" : server.substr(slash);
    Product product;
    product.UseServer(host + port);
    const std::string database = product.DatabaseState();

    EXPECT_EQ(product.RunWith(Rehearse), 3) << product.LastOutput();
    const std::string& output = product.LastOutput();
    EXPECT_TRUE(Holds(output, "Копія бази даних для репетиції...[OK]\n")) << output;
    EXPECT_FALSE(Holds(output, "Видалення копії бази даних...[OK]")) << output;
    EXPECT_EQ(product.DatabaseState(), database);
    const std::vector<std::string> left = FilesBelow(product.DatabaseFolder());
    ASSERT_EQ(left.size(), 2u) << "the database and the backup, not the copy";
    const std::string backup = product.DatabaseFolder() + "/" + left[0];
    EXPECT_TRUE(left[0].starts_with("test-254-") && left[0].ends_with(".fbk")) << left[0];
    const std::string warning = "резервна копія репетиції лишилась на сервері " + host + port +
                                ": " + backup + "; видаліть її там";
    EXPECT_TRUE(Holds(output, warning)) << warning << "\n" << output;
    const std::string block = LastBlock(product.History());
    EXPECT_TRUE(Holds(block, "\nпопередження: " + warning + "\n")) << block;
    EXPECT_TRUE(Holds(block, "\nверсія копії після оновлення: 256\n")) << block;
}

// A server on this machine whose files are not the ones the installer sees at the same paths
// (a service with a private /tmp, a container): the backup the server reports is not found at
// its size, and the copy is not restored from it.
TEST(RehearsalOnAServer, ABackupNotFoundAtItsSizeIsNotRestored) {
    const std::string server = ServerForTest();
    if (server.empty())
        GTEST_SKIP() << NoServerReason;
    Product product;
    product.UseServer(server);
    const std::string database = product.DatabaseState();
    TempFolder backups;
    // The installer runs with an empty disk of its own over the backup folder.
    const std::string real = product.Installer() + ".real";
    fs::rename(product.Installer(), real);
    WriteFile(product.Installer(), "#!/bin/sh\nexec unshare -m sh -c 'mount -t tmpfs tmpfs " +
                                       backups.Str() + " && exec " + real + " \"$@\"' sh \"$@\"\n");
    fs::permissions(product.Installer(), fs::perms::owner_all);

    EXPECT_EQ(product.RunWith({"--unattended", "--rehearse", "--backup", backups.Str()}), 2)
        << product.LastOutput();
    const std::string& output = product.LastOutput();
    const std::vector<std::string> made = FilesBelow(backups.Str());
    ASSERT_EQ(made.size(), 1u) << output;
    const std::string backup = backups.Str() + "/" + made[0];
    const std::string size = std::to_string(fs::file_size(backup));
    EXPECT_TRUE(Holds(output, "error: копію бази даних для репетиції не створено: резервна копія " +
                                  backup + " має 0 байт, а не " + size + "\n"))
        << output;
    EXPECT_EQ(product.DatabaseState(), database);
    EXPECT_TRUE(Holds(LastBlock(product.History()),
                      "\nпомилка: копію бази даних для репетиції не створено: "))
        << product.History();
}

// Another attachment to the copy (an administrator's tool) while the rehearsal ends: the copy
// cannot be dropped, and is said and left.
TEST(RehearsalOnAServer, ACopyAnotherAttachmentHoldsIsSaidAndLeft) {
    const std::string server = ServerForTest();
    if (server.empty())
        GTEST_SKIP() << NoServerReason;
    Product product;
    product.UseServer(server);
    TempFolder backups;
    std::atomic<bool> ended{false};
    db::Database holder("");
    std::string copyName;
    // Attached once the rehearsal applies the packages: the log of 255.02.sql's failure is
    // kept then. An attachment during the restore would keep it from bringing the copy online.
    const std::string log = product.WorkFolder() + "/rehearsal/logs/255/255.02.sql.log";
    std::thread attach([&] {
        while (!ended && !fs::exists(log))
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        for (const std::string& file : FilesBelow(backups.Str())) {
            if (!file.ends_with(".rehearsal.fdb"))
                continue;
            copyName = server + ":" + backups.Str() + "/" + file;
            holder.SetDatabaseName(copyName);
            holder.SetParams({"sysdba", "quillbark"});
            try {
                holder.Open();
            } catch (const std::exception&) {
                // Dropped already: the rehearsal ended first.
            }
        }
    });
    const int status = product.RunWith({"--unattended", "--rehearse", "--backup", backups.Str()});
    ended = true;
    attach.join();
    if (!holder.Connected())
        GTEST_SKIP() << "the rehearsal ended before the copy could be attached";

    EXPECT_EQ(status, 3) << product.LastOutput();
    const std::string& output = product.LastOutput();
    const std::string failure = "не вдалося видалити копію бази даних " + copyName + ": ";
    EXPECT_TRUE(Holds(output, failure)) << output;
    EXPECT_FALSE(Holds(output, "Видалення копії бази даних...[OK]")) << output;
    const std::string block = LastBlock(product.History());
    EXPECT_TRUE(Holds(block, "\nверсія копії після оновлення: 256\n")) << block;
    EXPECT_TRUE(Holds(block, "\nпопередження: " + failure)) << block;
    const std::vector<std::string> left = FilesBelow(backups.Str());
    EXPECT_EQ(left.size(), 1u) << "the copy alone; its backup went";
    holder.Drop();
}

// A rehearsal cut off while it applies a package to its copy: by a request to end, which it
// meets after the statement in progress, or killed.
struct Cut {
    const char* name;
    const char* signal;
    // The rehearsal's files go to this folder of the product's, or to the work folder.
    bool ownFolder;
};

void PrintTo(const Cut& cut, std::ostream* out) {
    *out << cut.name;
}

class CutRehearsalTest : public ::testing::TestWithParam<Cut> {};

TEST_P(CutRehearsalTest, LeavesTheDatabaseAsItWasAndNoCopyAfterTheNextRun) {
    const Cut& cut = GetParam();
    Product product;
    TempFolder backups;
    std::vector<std::string> arguments = Rehearse;
    if (cut.ownFolder)
        arguments.insert(arguments.end(), {"--backup", backups.Str()});
    const std::string database = product.DatabaseState();
    const auto programFolder = product.ProgramFolder();
    const std::string folder = cut.ownFolder ? backups.Str() : product.WorkFolder() + "/rehearsal";

    const int status = product.RunWith(
        arguments, {"NORVANE_FAULT_COUNT_FROM=insert into NORVANE$UPDATE_JOURNAL",
                    "NORVANE_FAULT_COMMIT=3", std::string("NORVANE_FAULT_SIGNAL=") + cut.signal});
    EXPECT_EQ(product.DatabaseState(), database);
    EXPECT_EQ(product.ProgramFolder(), programFolder);
    const auto copies = [&] {
        std::vector<std::string> found;
        for (const std::string& file : FilesBelow(folder)) {
            if (file.ends_with(".fbk") || file.ends_with(".fdb"))
                found.push_back(file);
        }
        return found;
    };
    if (std::string(cut.signal) == "KILL") {
        ASSERT_EQ(status, Killed) << product.LastOutput();
        // The copy the killed run was updating, and its backup.
        EXPECT_EQ(copies().size(), 2u);
    } else {
        EXPECT_EQ(status, 2) << product.LastOutput();
        EXPECT_TRUE(Holds(product.LastOutput(), "error: оновлення перервано\n"))
            << product.LastOutput();
        EXPECT_TRUE(copies().empty());
    }

    EXPECT_EQ(product.RunWith(Rehearse), 3) << product.LastOutput();
    EXPECT_TRUE(copies().empty()) << product.LastOutput();
    EXPECT_TRUE(FilesBelow(product.WorkFolder() + "/rehearsal/logs").size() == 1u);
    EXPECT_EQ(product.DatabaseState(), database);
    EXPECT_EQ(product.ProgramFolder(), programFolder);
}

INSTANTIATE_TEST_SUITE_P(Cuts, CutRehearsalTest,
                         ::testing::Values(Cut{"Terminated", "TERM", false},
                                           Cut{"Killed", "KILL", false},
                                           Cut{"KilledWithItsOwnFolder", "KILL", true}),
                         [](const auto& info) { return std::string(info.param.name); });

} // namespace
} // namespace norvane::testing
