#include "update/blob_loader.h"

#include "base/text.h"
#include "db/statement.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/statement_step.h"
#include "update/update_journal.h"

#include <span>

namespace norvane::update {

namespace {

// Cuts the text before the first "." off rest and returns it; with no dot, nothing is cut.
std::string TakeUpToDot(std::string& rest) {
    const std::size_t dot = rest.find('.');
    if (dot == std::string::npos)
        return {};
    std::string piece = rest.substr(0, dot);
    rest.erase(0, dot + 1);
    return piece;
}

bool IsIntegerText(std::string_view text) {
    if (!text.empty() && (text.front() == '-' || text.front() == '+'))
        text.remove_prefix(1);
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// A literal in quotes, its own quotes doubled; a blank would turn into "=" in the condition.
bool IsQuotedLiteral(std::string_view text) {
    if (text.size() < 2 || text.front() != '\'' || text.back() != '\'')
        return false;
    const std::string_view inner = text.substr(1, text.size() - 2);
    for (std::size_t i = 0; i < inner.size(); ++i) {
        if (inner[i] == ' ')
            return false;
        if (inner[i] == '\'' && (i + 1 == inner.size() || inner[++i] != '\''))
            return false;
    }
    return true;
}

std::string Quoted(std::string_view text) {
    return "\"" + std::string(text) + "\"";
}

} // namespace

std::string BlobTarget::StatementText() const {
    return "update " + table + " set " + field + " = :" + field + " where " + condition;
}

std::optional<std::string> BlobTarget::Refusal() const {
    const std::string prefix = "Blob file name refused: ";
    if (!IsPlainIdentifier(table))
        return prefix + "the table " + Quoted(table) + " is not a plain identifier";
    if (!IsPlainIdentifier(field))
        return prefix + "the field " + Quoted(field) + " is not a plain identifier";
    for (const std::string& key : keys) {
        const std::size_t blank = key.find(' ');
        if (blank == std::string::npos)
            return prefix + "the key " + Quoted(key) + " is not a column, a blank and a value";
        const std::string_view column = std::string_view(key).substr(0, blank);
        const std::string_view value = std::string_view(key).substr(blank + 1);
        if (!IsPlainIdentifier(column))
            return prefix + "the key column " + Quoted(column) + " is not a plain identifier";
        if (!IsIntegerText(value) && !IsQuotedLiteral(value))
            return prefix + "the key value " + Quoted(value) +
                   " is neither an integer nor a quoted literal";
    }
    return std::nullopt;
}

BlobTarget ParseBlobFileName(std::string_view path) {
    std::string rest(FileNameOf(path));
    if (const std::size_t extension = rest.find(".blo"); extension != std::string::npos)
        rest.erase(extension, 4);
    BlobTarget target;
    target.table = TakeUpToDot(rest);
    target.field = TakeUpToDot(rest);
    target.condition = "(" + ReplaceAll(ReplaceAll(rest, " ", "="), ".", ")and(") + ")";
    for (std::size_t start = 0;;) {
        const std::size_t dot = rest.find('.', start);
        target.keys.push_back(rest.substr(start, dot - start));
        if (dot == std::string::npos)
            break;
        start = dot + 1;
    }
    return target;
}

std::string BlobLogPath(const std::string& lastScriptLog, const std::string& path) {
    return lastScriptLog.empty() ? path + ".log" : lastScriptLog;
}

BlobLoad LoadBlobFile(UpdateContext& context, const std::string& path, const std::string& log) {
    // A blob file an interrupted run has loaded is not loaded again.
    if (context.Journal != nullptr &&
        context.Journal->BeginItem(context.Package, std::string(FileNameOf(path)), {})
            .done.contains(1))
        return BlobLoad::Loaded;
    const BlobTarget target = ParseBlobFileName(path);
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Named);
    statement.SetSql(target.StatementText());
    const StepResult result = RunLoggedStep(
        context, log,
        [&] {
            if (const std::optional<std::string> refusal = target.Refusal())
                throw EStepFailed(*refusal);
            if (context.Journal != nullptr)
                context.Journal->RecordStep(1);
            statement.Prepare();
            const std::string bytes = platform::ReadWholeFile(path);
            statement.SetBlobParam(target.field, std::as_bytes(std::span(bytes)));
            statement.Execute();
            // A key that matches no row would leave the value unstored without a word.
            if (statement.RowsAffected() == 0)
                throw EStepFailed("no row with " + target.condition + " in " + target.table);
        },
        [&] { return statement.Sql() + "\r\n\n"; });
    return result == StepResult::Done ? BlobLoad::Loaded : BlobLoad::Failed;
}

} // namespace norvane::update
