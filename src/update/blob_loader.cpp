#include "update/blob_loader.h"

#include "base/exceptions.h"
#include "base/text.h"
#include "db/statement.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "update/update_log.h"

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
    db::Transaction& transaction = context.GlobDB.Transaction();
    db::Statement statement(context.GlobDB.GetDatabase(), db::Parameters::Named);
    try {
        statement.SetSql(target.StatementText());
        if (!transaction.Active())
            transaction.StartTransaction();
        statement.Prepare();
        const std::string bytes = platform::ReadWholeFile(path);
        statement.SetBlobParam(target.field, std::as_bytes(std::span(bytes)));
        statement.Execute();
        if (transaction.Active())
            transaction.Commit();
        return BlobLoad::Loaded;
    } catch (const Exception& error) {
        const std::string logFile = BlobLogPath(context, path);
        WriteLog(logFile, LogEntry::PlainRecord, statement.Sql() + "\r\n\n");
        WriteLog(logFile, LogEntry::ErrorBlock, error.what());
        if (transaction.Active())
            transaction.Rollback();
        return BlobLoad::Failed;
    }
}

} // namespace norvane::update
