// The results of the commands that measure nothing (devices, generate) as
// a table of named columns plus the settings used, written as CSV (a header
// line, then one line per row) or as one JSON object ("settings", "results"
// as an array of objects). The measuring commands write result documents
// (measurement/document/measurementdocument.h) instead.
#pragma once

#include <QJsonArray>
#include <QJsonObject>
#include <QStringList>
#include <cstdio>

namespace cli {

class Report {
public:
    explicit Report(const QString &command);

    // Settings that produced the results (merged into "settings").
    void AddSettings(const QJsonObject &settings);
    void SetColumns(const QStringList &columns) { columns_ = columns; }
    // One row, a value per column (numbers or texts).
    void AddRow(const QJsonArray &row) { rows_.append(row); }

    // False when the text could not be written and flushed (errno tells why).
    bool Write(bool json, std::FILE *out) const;

private:
    QString command_;
    QJsonObject settings_;
    QStringList columns_;
    QJsonArray rows_;
};

// One CSV field: numbers with a decimal point whatever the locale; a text
// quoted when it holds a comma, a quote or a line break, and one that a
// spreadsheet would take for a formula with an apostrophe before it.
QString CsvField(const QJsonValue &v);

// A number rounded to `decimals` places, for readable output.
double Rounded(double v, int decimals);
// A single-precision setting as it was typed: the shortest decimal that
// reads back as the same float (-6.4f gives -6.4, not -6.400000095367432).
double AsTyped(float v);

} // namespace cli
