#include "support/test_database.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <stdexcept>

namespace norvane::testing {

namespace fs = std::filesystem;

namespace {

std::string Quoted(std::string_view text, char quote) {
    std::string result(1, quote);
    for (char c : text) {
        if (c == quote)
            result += quote;
        result += c;
    }
    return result + quote;
}

std::string ShellQuoted(std::string_view text) {
    std::string result = "'";
    for (char c : text)
        result += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return result + "'";
}

std::string WithTerminator(std::string_view statement) {
    while (!statement.empty() &&
           (statement.back() == ';' || static_cast<unsigned char>(statement.back()) <= ' '))
        statement.remove_suffix(1);
    return std::string(statement) + ";\n";
}

fs::path SystemFirebirdRoot() {
    for (const char* candidate :
         {"/usr/lib/x86_64-linux-gnu/firebird/3.0", "/usr/lib/firebird/3.0", "/opt/firebird"}) {
        if (fs::exists(fs::path(candidate) / "firebird.msg"))
            return candidate;
    }
    std::error_code ignored;
    for (const auto& entry : fs::directory_iterator("/usr/lib", ignored)) {
        const fs::path root = entry.path() / "firebird" / "3.0";
        if (fs::exists(root / "firebird.msg"))
            return root;
    }
    throw std::runtime_error("cannot find the Firebird installation (firebird.msg)");
}

// A copy of the system's Firebird root whose firebird.conf selects SuperClassic: the Super
// engine opens a file for one process only, which would keep isql-fb and a test server out
// of a database this process has attached.
void MakeSharedRoot(const fs::path& root) {
    const fs::path system = SystemFirebirdRoot();
    fs::create_directories(root);
    for (const auto& entry : fs::directory_iterator(system)) {
        const fs::path name = entry.path().filename();
        if (name == "firebird.conf")
            continue;
        std::error_code exists;
        fs::create_symlink(fs::canonical(entry.path()), root / name, exists);
    }
    const fs::path staged = root / ("firebird.conf." + std::to_string(::getpid()));
    WriteFile(staged, "ServerMode = SuperClassic\n");
    fs::rename(staged, root / "firebird.conf");
}

} // namespace

void UseSharedFirebirdEngine() {
    static std::once_flag once;
    std::call_once(once, [] {
        // The lock folder scripts/firebird-server uses too: a test server and the embedded
        // engines of the tests must lock the same files.
        if (!std::getenv("FIREBIRD_LOCK")) {
            const fs::path lock = "/tmp/norvane-fblock-" + std::to_string(::getuid());
            fs::create_directories(lock);
            ::setenv("FIREBIRD_LOCK", lock.c_str(), 1);
        }
        if (std::getenv("FIREBIRD"))
            return;
        const fs::path root =
            fs::temp_directory_path() / ("norvane-firebird-" + std::to_string(::getuid()));
        if (!fs::exists(root / "firebird.conf"))
            MakeSharedRoot(root);
        ::setenv("FIREBIRD", root.c_str(), 1);
    });
}

TestDatabase::TestDatabase(int dialect, std::string_view fileName, int pageSize)
    : m_dialect(dialect), m_path(m_folder / fileName) {
    UseSharedFirebirdEngine();
    RunIsql("set sql dialect " + std::to_string(dialect) + ";\ncreate database " +
                Quoted(m_path, '\'') + " user 'SYSDBA' page_size " + std::to_string(pageSize) +
                ";\ncommit;\n",
            false);
    // A test server may run as another user; it must be able to open the file.
    fs::permissions(m_folder.Path(), fs::perms::all, fs::perm_options::add);
    fs::permissions(m_path,
                    fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read |
                        fs::perms::group_write | fs::perms::others_read | fs::perms::others_write,
                    fs::perm_options::add);
}

std::string TestDatabase::RunIsql(const std::string& script, bool connect,
                                  std::string_view options) {
    const fs::path scriptFile = m_folder.Path() / ".isql-script.sql";
    WriteFile(scriptFile, script);
    std::string command = "isql-fb -q -b -m -sqldialect " + std::to_string(m_dialect) +
                          " -user SYSDBA " + std::string(options) + " -i " +
                          ShellQuoted(scriptFile.string());
    if (connect)
        command += " " + ShellQuoted(m_path);
    command += " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe)
        throw std::runtime_error("cannot run isql-fb");
    std::string output;
    std::array<char, 4096> buffer;
    while (std::size_t read = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), read);
    const int status = ::pclose(pipe);
    std::error_code ignored;
    fs::remove(scriptFile, ignored);
    if (status != 0 || output.find("Statement failed") != std::string::npos)
        throw std::runtime_error("isql-fb failed:\n" + script + "\n" + output);
    return output;
}

void TestDatabase::Execute(std::string_view isqlScript) {
    RunIsql(std::string(isqlScript) + "\ncommit;\n", true);
}

std::string TestDatabase::Output(std::string_view isqlScript) {
    return RunIsql(std::string(isqlScript), true);
}

std::string TestDatabase::ExtractMetadata() {
    return RunIsql("", true, "-x");
}

std::optional<std::string> TestDatabase::QueryString(std::string_view select) {
    const std::string output = RunIsql("set list on;\n" + WithTerminator(select), true);
    // List mode prints "NAME   value", one column a line, rows apart by a blank line.
    std::size_t start = 0;
    while (start < output.size()) {
        std::size_t end = output.find('\n', start);
        if (end == std::string::npos)
            end = output.size();
        std::string_view line(output.data() + start, end - start);
        start = end + 1;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.find_first_not_of(' ') == std::string_view::npos)
            continue;
        const std::size_t nameEnd = line.find(' ');
        if (nameEnd == std::string_view::npos)
            return std::string();
        const std::size_t valueStart = line.find_first_not_of(' ', nameEnd);
        const std::string value(valueStart == std::string_view::npos ? std::string_view()
                                                                     : line.substr(valueStart));
        if (value == "<null>")
            return std::nullopt;
        return value;
    }
    return std::nullopt;
}

} // namespace norvane::testing
