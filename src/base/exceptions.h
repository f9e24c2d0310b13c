#pragma once

#include <stdexcept>
#include <string>

namespace norvane {

/// The root of the program's errors. what() is the text the error display shows.
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

/// A file that cannot be created.
class EFCreateError : public Exception {
public:
    using Exception::Exception;
};

/// A file that cannot be opened.
class EFOpenError : public Exception {
public:
    using Exception::Exception;
};

/// A read that failed part-way.
class EReadError : public Exception {
public:
    using Exception::Exception;
};

/// A write that stored fewer bytes than it was given.
class EWriteError : public Exception {
public:
    using Exception::Exception;
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

} // namespace norvane
