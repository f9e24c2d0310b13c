#include "update/blob_loader.h"

#include "base/text.h"
#include "db/statement.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/statement_step.h"

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

} // namespace

std::string BlobTarget::StatementText() const {
    return "update " + table + " set " + field + " = :" + field + " where " + condition;
}

BlobTarget ParseBlobFileName(std::string_view path) {
    std::string rest(FileNameOf(path));
    if (const std::size_t extension = rest.find(".blo"); extension != std::string::npos)
        rest.erase(extension, 4);
    BlobTarget target;
    target.table = TakeUpToDot(rest);
    target.field = TakeUpToDot(rest);
    target.condition = "(" + ReplaceAll(ReplaceAll(rest, " ", "="), ".", ")and(") + ")";
    return target;
}

std::string BlobLogPath(const UpdateContext& context, const std::string& path) {
    return context.LogFile.empty() ? path + ".log" : context.LogFile;
}

BlobLoad LoadBlobFile(UpdateContext& context, const std::string& path) {
    const BlobTarget target = ParseBlobFileName(path);
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Named);
    statement.SetSql(target.StatementText());
    const StepResult result = RunLoggedStep(
        context, BlobLogPath(context, path),
        [&] {
            statement.Prepare();
            const std::string bytes = platform::ReadWholeFile(path);
            statement.SetBlobParam(target.field, std::as_bytes(std::span(bytes)));
            statement.Execute();
        },
        [&] { return statement.Sql() + "\r\n\n"; });
    return result == StepResult::Done ? BlobLoad::Loaded : BlobLoad::Failed;
}

} // namespace norvane::update
