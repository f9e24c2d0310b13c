#include "app/package_check.h"

#include "base/text.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/blob_loader.h"
#include "update/script_lines.h"
#include "update/statement_assembler.h"

namespace norvane::app {

namespace {

std::string Below(const std::string& folder, const std::string& path) {
    return path.substr(std::min(path.size(), folder.size() + 1));
}

bool IsNumberToken(std::string_view text, std::size_t at, std::size_t length) {
    const auto isDigit = [](char c) { return c >= '0' && c <= '9'; };
    return (at == 0 || !isDigit(text[at - 1])) &&
           (at + length == text.size() || !isDigit(text[at + length]));
}

// The statement without the comments and blanks before its first word.
std::string_view WithoutLeadingComments(std::string_view text) {
    for (;;) {
        text = TrimControl(text);
        if (text.starts_with("--")) {
            const std::size_t end = text.find('\n');
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        } else if (text.starts_with("/*")) {
            const std::size_t end = text.find("*/", 2);
            text = end == std::string_view::npos ? std::string_view() : text.substr(end + 2);
        } else {
            return text;
        }
    }
}

// "insert into versions ..." whose text holds the number as a whole token.
bool InsertsVersion(std::string_view statement, std::int32_t number) {
    const std::string upper = AsciiUpper(WithoutLeadingComments(statement));
    std::string words;
    for (const char c : upper) {
        if (static_cast<unsigned char>(c) <= ' ') {
            if (!words.empty() && words.back() != ' ')
                words += ' ';
        } else if (c != '"') {
            words += c;
        }
    }
    if (!words.starts_with("INSERT INTO VERSIONS ") && !words.starts_with("INSERT INTO VERSIONS("))
        return false;
    const std::string text = std::to_string(number);
    for (std::size_t at = words.find(text); at != std::string::npos;
         at = words.find(text, at + 1)) {
        if (IsNumberToken(words, at, text.size()))
            return true;
    }
    return false;
}

// The script's problems; whether it inserts the version row is told through insertsVersion.
void CheckScript(const std::string& folder, const std::string& path, std::int32_t number,
                 std::vector<std::string>& problems, bool& insertsVersion) {
    const std::string name = Below(folder, path);
    const update::ScriptLines script(path);
    if (const auto nulLine = script.NulLine()) {
        problems.push_back(name + ":" + std::to_string(*nulLine) +
                           ": a NUL byte; the installer would run none of the script");
        return;
    }
    update::StatementAssembler assembler;
    std::size_t lineNumber = 0;
    // The line the statement still waiting for its terminator began on; 0 for none.
    std::size_t pendingSince = 0;
    insertsVersion = false;
    for (const std::string_view line : script.Lines()) {
        ++lineNumber;
        const update::AssemblyStep step = assembler.Feed(line);
        for (const std::string& statement : step.completed)
            insertsVersion = insertsVersion || InsertsVersion(statement, number);
        if (!assembler.HasPendingStatement())
            pendingSince = 0;
        else if (pendingSince == 0)
            pendingSince = lineNumber;
    }
    if (pendingSince != 0)
        problems.push_back(name + ":" + std::to_string(pendingSince) +
                           ": the last statement has no terminator (\"" + assembler.Terminator() +
                           "\"); the installer would not run it");
}

} // namespace

std::vector<std::string> PackageContentProblems(std::int32_t number, const std::string& folder) {
    std::vector<std::string> problems;
    std::vector<std::string> scripts;
    platform::CollectFiles(scripts, JoinPath(folder, "up"), "*.sql");
    bool lastInsertsVersion = false;
    for (const std::string& script : scripts)
        CheckScript(folder, script, number, problems, lastInsertsVersion);
    if (scripts.empty())
        problems.push_back("up: no script; nothing would insert " + std::to_string(number) +
                           " into versions");
    else if (!lastInsertsVersion)
        problems.push_back(Below(folder, scripts.back()) + ": the last script does not insert " +
                           std::to_string(number) +
                           " into versions; the installer would stop after it");

    std::vector<std::string> blobs;
    platform::CollectFiles(blobs, JoinPath(folder, "up"), "*.blo");
    for (const std::string& blob : blobs) {
        if (const auto refusal = update::ParseBlobFileName(blob).Refusal())
            problems.push_back(Below(folder, blob) + ": " + *refusal);
    }
    return problems;
}

} // namespace norvane::app
