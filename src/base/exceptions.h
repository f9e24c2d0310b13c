#pragma once

#include <stdexcept>
#include <string>

namespace norvane {

/// The root of the errors a run meets. what() is the text the error display shows.
class Exception : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
    std::string Message() const { return what(); }
};

/// A text that does not convert to the number or value asked for.
class EConvertError : public Exception {
public:
    using Exception::Exception;
};

/// A stored raw-data item (package) that does not exist.
class EResNotFound : public Exception {
public:
    using Exception::Exception;
};

/// A file that cannot be opened, created, read or written.
class EStreamError : public Exception {
public:
    using Exception::Exception;
};

/// A file that cannot be created.
class EFCreateError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

/// A file that cannot be opened.
class EFOpenError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

/// A read that failed part-way.
class EReadError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

/// A write that stored fewer bytes than it was given.
class EWriteError : public EStreamError {
public:
    using EStreamError::EStreamError;
};

/// A shared library or one of its entry points that cannot be loaded.
class ELibraryError : public Exception {
public:
    using Exception::Exception;
};

/// A failure of the operating system that has no more specific type.
class EOSError : public Exception {
public:
    using Exception::Exception;
};

/// An error after which nothing more of the update may run: no statement, blob file, program
/// file or package. The database is gone or cannot be written, the run was interrupted, a
/// statement waited too long for rows another connection holds, or an interrupted run cannot
/// be resumed with the package given.
class EUpdateAborted : public Exception {
public:
    enum class Cause {
        DatabaseLost,
        Interrupted,
        /// What an interrupted run recorded cannot be matched to the package given now.
        CannotResume,
        /// A statement waited longer than allowed for rows another connection holds.
        RowsLocked,
    };
    EUpdateAborted(Cause cause, const std::string& message) : Exception(message), m_cause(cause) {}
    Cause Reason() const { return m_cause; }

private:
    Cause m_cause;
};

/// A call the program must never make (a transaction started twice, a parameter that the
/// statement does not have): a fault in the code, not a condition of the run. It is no
/// Exception, so that nothing that deals with the run's failures takes it for one of them:
/// no update step logs it as a failed statement, no check turns it into a refusal. Only the
/// error display shows it.
class EMisuse : public std::logic_error {
public:
    using std::logic_error::logic_error;
};

} // namespace norvane
