#include "update/update_log.h"

#include "platform/files.h"

namespace norvane::update {

bool WriteLog(const std::string& logFile, LogEntry kind, std::string_view text) {
    if (logFile.empty())
        return false;
    switch (kind) {
    case LogEntry::PlainRecord:
        return platform::AppendToFile(logFile, text);
    case LogEntry::ErrorBlock: {
        std::string block;
        block.reserve(2 * LogSeparator.size() + text.size() + 8);
        block.append(LogSeparator).append("\r\n");
        block.append(text).append("\r\n");
        block.append(LogSeparator).append("\r\n\r\n");
        return platform::AppendToFile(logFile, block);
    }
    }
    return false;
}

} // namespace norvane::update
