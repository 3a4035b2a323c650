// Reading and writing result documents (measurementdocument.h) as JSON.
//
// Writing: keys in a fixed order, one curve and one result row per line;
// numbers with a full stop whatever the locale, a column's numbers with its
// Decimals or else the shortest text that reads back as the same double,
// whole numbers without a fraction; NaN and infinities as null.
//
// Reading refuses, with a FileError and without touching the document it
// was given:
// - a file that is missing, not a regular file or larger than
//   kMaxFileBytes, before reading it;
// - text that is not JSON (a truncated file, NaN or infinite values, which
//   JSON does not have), or more JSON values than a document of kMaxRows
//   rows could hold, before building it;
// - a newer major version, an unknown kind, a missing field or one of the
//   wrong type, more than kMaxRows rows or kMaxColumns columns, a curve
//   naming a column that the table lacks.
// Keys of a newer minor version are skipped.
//
// Threads: any.
#pragma once

#include "measurement/document/measurementdocument.h"
#include "measurement/document/measurementfileerror.h"

#include <QByteArray>
#include <string>

namespace measure {

// The document as JSON text (UTF-8).
QByteArray DocumentToJson(const MeasurementDocument &document);

// Writes the document to `fileName` through a temporary file that replaces
// the old one only when everything was written. False with `error`.
bool WriteMeasurementFile(const std::string &fileName, const MeasurementDocument &document, FileError &error);

// Reads a document from JSON text; `name` is the file name the messages use.
bool ParseMeasurementDocument(const QByteArray &text, const std::string &name, MeasurementDocument &document,
                              FileError &error);

// Reads a document from a file.
bool ReadMeasurementFile(const std::string &fileName, MeasurementDocument &document, FileError &error);

} // namespace measure
