// Why a result file could not be read or written, and the message for it in
// German and English. The reader and writer only fill in a FileError; who
// shows it (a message box, the command line's standard error) asks for the
// text here, so both programs say the same.
//
// Threads: any.
#pragma once

#include <cstdint>
#include <string>

namespace measure {

enum class FileProblem {
    None,
    NotFound,      // no such file
    NotRegular,    // a folder, device or pipe
    TooLarge,      // Number: the size in bytes
    Unreadable,    // Detail: the system's reason
    NotWritable,   // Detail: the system's reason
    Syntax,        // not JSON: Line, Column; Syntax says what
    NotDocument,   // JSON, but not a result document (no "version")
    BadVersion,    // "version" is not "major.minor"
    NewerVersion,  // Detail: the file's version
    UnknownKind,   // Detail: the kind
    MissingField,  // Field
    WrongType,     // Field, Expected
    TooManyRows,   // Number: the rows (or values) found
    TooManyColumns,// Number: the columns found
    UnknownColumn, // Field: where; Detail: the column
    DuplicateName, // Field: where; Detail: the name
    NoCurves,      // a kind that has curves, without one
};

// What a JSON syntax error was.
enum class SyntaxProblem {
    Truncated,      // the text ends inside an object, array or string
    IllegalNumber,  // NaN, infinite or out of double's range
    TooDeep,        // nested deeper than the parser takes
    TooManyValues,  // more values than a result document may hold
    Other,          // any other syntax error
};

// What a value must be.
enum class Expected {
    Object,
    Array,
    Text,
    TextOrNull,
    ObjectOrNull,
    Number,
    WholeNumber,
    Boolean,
    AutoOrWholeNumber,
    NumberTextOrNull,  // a cell of the result table
    TextColumnCell,    // a cell of a text column: text or null
    NumberColumnCell,  // a cell of a number column: number or null
    PhaseUnit,         // "deg"
    OverAxis,          // "frequency" or "level"
};

struct FileError {
    FileProblem Problem = FileProblem::None;
    std::string File;
    std::string Field;
    std::string Detail;
    Expected Type = Expected::Object;
    SyntaxProblem Syntax = SyntaxProblem::Other;
    std::int64_t Number = 0;
    int Line = 0, Column = 0;

    bool ok() const { return Problem == FileProblem::None; }
};

// The message in German ('D') or English (any other value); "" for None.
std::string FileErrorText(const FileError &error, char language);

} // namespace measure
