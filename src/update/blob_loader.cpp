#include "update/blob_loader.h"

#include "base/sha256.h"
#include "base/text.h"
#include "db/statement.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/statement_step.h"
#include "update/step_group.h"
#include "update/step_key.h"
#include "update/update_journal.h"

#include <exception>
#include <memory>
#include <set>
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
    std::string quoted = "\"";
    quoted += text;
    quoted += '"';
    return quoted;
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
    // Built by pushes: GCC 12 warns (-Wrestrict) of a literal added to a temporary string.
    const std::string conditions = ReplaceAll(ReplaceAll(rest, " ", "="), ".", ")and(");
    target.condition.reserve(conditions.size() + 2);
    target.condition.push_back('(');
    target.condition.append(conditions);
    target.condition.push_back(')');
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

struct BlobLoader::Impl {
    explicit Impl(UpdateContext& updateContext)
        : context(updateContext), group(updateContext, "$BLOB", ""),
          statement(updateContext.GlobDB.GetDatabase(), db::Parameters::Named) {
        done = group.Records().done;
        if (context.Journal != nullptr)
            loadedByName = context.Journal->BlobFilesLoadedByName(context.Package);
    }

    UpdateContext& context;
    StepGroup group;
    db::Statement statement;
    std::multiset<StepKey> done;
    std::set<std::string> loadedByName;
    StepKeys keys;
};

namespace {

// Stores bytes into the row the target designates; a key that matches no row is a failure,
// not a value left unstored without a word.
void Store(db::Statement& statement, const BlobTarget& target, std::string_view bytes) {
    statement.SetBlobParam(target.field, std::as_bytes(std::span(bytes.data(), bytes.size())));
    statement.Execute();
    if (statement.RowsAffected() == 0)
        throw EStepFailed("no row with " + target.condition + " in " + target.table);
}

void Prepare(db::Statement& statement, const BlobTarget& target) {
    if (const std::optional<std::string> refusal = target.Refusal())
        throw EStepFailed(*refusal);
    statement.Prepare();
}

} // namespace

BlobLoader::BlobLoader(UpdateContext& context) : m_impl(std::make_unique<Impl>(context)) {}

BlobLoader::~BlobLoader() = default;

BlobLoad BlobLoader::LoadBlobFile(const std::string& path, const std::string& log) {
    Impl& impl = *m_impl;
    const std::string name(FileNameOf(path));
    if (impl.loadedByName.contains(name))
        return BlobLoad::LoadedBefore;
    // The bytes are read first: they are part of the file's key. A file that cannot be read
    // fails as the step's own failure.
    auto bytes = std::make_shared<std::string>();
    std::exception_ptr readFailure;
    try {
        *bytes = platform::ReadWholeFile(path);
    } catch (const EStreamError&) {
        readFailure = std::current_exception();
    }
    const StepKey key = impl.keys.Next(name + '\0' + (readFailure ? "" : Sha256Hex(*bytes)));
    if (const auto found = impl.done.find(key); found != impl.done.end()) {
        impl.done.erase(found);
        return BlobLoad::LoadedBefore;
    }

    const BlobTarget target = ParseBlobFileName(path);
    db::Statement& statement = impl.statement;
    GroupStep step;
    step.key = key;
    step.log = log;
    step.bytes = 0;
    step.record = [text = target.StatementText()] { return text + "\r\n\n"; };
    step.prepare = [&statement, &target, readFailure] {
        statement.SetSql(target.StatementText());
        if (readFailure)
            std::rethrow_exception(readFailure);
        Prepare(statement, target);
        return StepKind::Grouped;
    };
    step.execute = [&statement, &target, bytes] {
        Store(statement, target, *bytes);
        // Kept no longer than its load: a replay reads the file again.
        bytes->clear();
        bytes->shrink_to_fit();
    };
    step.replay = [&context = impl.context, target, path] {
        db::Statement again(context.GlobDB.GetDatabase(), db::Parameters::Named);
        again.SetSql(target.StatementText());
        Prepare(again, target);
        Store(again, target, platform::ReadWholeFile(path));
    };
    return impl.group.Run(std::move(step)) == StepResult::Done ? BlobLoad::Loaded
                                                               : BlobLoad::Failed;
}

void BlobLoader::Commit() {
    m_impl->group.Commit();
}

int BlobLoader::Failures() const {
    return m_impl->group.Failures();
}

const std::vector<std::string>& BlobLoader::FailureLogs() const {
    return m_impl->group.FailureLogs();
}

} // namespace norvane::update
