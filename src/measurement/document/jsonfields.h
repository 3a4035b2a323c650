// Typed reading of one JSON object's fields for the result-file reader: each
// call takes a key, checks its type and fills in the FileError naming the
// field ("settings.sweep.steps") when it is missing or of the wrong type.
// The keys read are taken out of Rest, so what is left is what this version
// does not know.
//
// Threads: any.
#pragma once

#include "measurement/document/measurementfileerror.h"

#include <QJsonObject>
#include <cstdint>
#include <string>

namespace measure {

class JsonFields {
public:
    JsonFields(const QJsonObject &object, std::string path, FileError &error)
        : Rest(object), path_(std::move(path)), error_(error) {}

    // Required fields: false (with the error) when missing or wrong.
    bool Text(const char *key, std::string &out);
    bool Number(const char *key, double &out);
    bool Int(const char *key, int &out);
    bool Int64(const char *key, std::int64_t &out);
    bool Bool(const char *key, bool &out);
    bool Object(const char *key, QJsonObject &out);

    // Optional fields: true when absent (out unchanged, `present` false).
    bool OptionalText(const char *key, std::string &out, bool *present = nullptr);

    // Whether the key is there (and not yet read).
    bool Has(const char *key) const { return Rest.contains(QLatin1String(key)); }

    // Marks `key` wrong (for checks beyond the type).
    bool Fail(const char *key, Expected expected);
    bool Missing(const char *key);
    std::string Path(const char *key) const { return path_.empty() ? key : path_ + "." + key; }

    QJsonObject Rest;

private:
    bool take(const char *key, QJsonValue &value);

    std::string path_;
    FileError &error_;
};

// Whether a number is whole and within the given magnitude.
bool IsWhole(double v, double limit);

} // namespace measure
