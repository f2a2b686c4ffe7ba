#pragma once
// Errors raised by the table engine. Every error names the file it concerns.
#include <stdexcept>
#include <string>

namespace xbase {

class Error : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The table (or its index or memo file) is held by another process in a way that
// excludes this open: exclusive open while others have it open, or shared open
// while another process holds it exclusively.
class BusyError : public Error {
public:
    using Error::Error;
};

// A file whose structure does not add up (truncated header, field list that does not
// match the record length, index pages outside the file, memo blocks past the end).
class DamagedError : public Error {
public:
    using Error::Error;
};

// A key expression or FOR condition that cannot be compiled or evaluated.
class ExprError : public Error {
public:
    using Error::Error;
};

// A value that cannot be stored in its field (number too wide, bad date, unknown field).
class ValueError : public Error {
public:
    using Error::Error;
};

// A record, file or header lock that could not be obtained.
class LockError : public Error {
public:
    using Error::Error;
};

}  // namespace xbase
