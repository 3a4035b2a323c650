// Typed field reading (see jsonfields.h).
#include "measurement/document/jsonfields.h"

#include <QJsonValue>
#include <cmath>
#include <limits>

namespace measure {

bool IsWhole(double v, double limit) { return std::isfinite(v) && std::floor(v) == v && std::fabs(v) <= limit; }

bool JsonFields::Fail(const char *key, Expected expected)
{
    error_.Problem = FileProblem::WrongType;
    error_.Field = Path(key);
    error_.Type = expected;
    return false;
}

bool JsonFields::Missing(const char *key)
{
    error_.Problem = FileProblem::MissingField;
    error_.Field = Path(key);
    return false;
}

bool JsonFields::take(const char *key, QJsonValue &value)
{
    const QLatin1String k(key);
    if (!Rest.contains(k))
        return Missing(key);
    value = Rest.take(k);
    return true;
}

bool JsonFields::Text(const char *key, std::string &out)
{
    QJsonValue v;
    if (!take(key, v))
        return false;
    if (!v.isString())
        return Fail(key, Expected::Text);
    out = v.toString().toStdString();
    return true;
}

bool JsonFields::OptionalText(const char *key, std::string &out, bool *present)
{
    if (present)
        *present = Has(key);
    return !Has(key) || Text(key, out);
}

bool JsonFields::Number(const char *key, double &out)
{
    QJsonValue v;
    if (!take(key, v))
        return false;
    // The parser refuses NaN and infinities; a document built in memory
    // could still hold one.
    if (!v.isDouble() || !std::isfinite(v.toDouble()))
        return Fail(key, Expected::Number);
    out = v.toDouble();
    return true;
}

bool JsonFields::Int(const char *key, int &out)
{
    QJsonValue v;
    if (!take(key, v))
        return false;
    if (!v.isDouble() || !IsWhole(v.toDouble(), std::numeric_limits<int>::max()))
        return Fail(key, Expected::WholeNumber);
    out = static_cast<int>(v.toDouble());
    return true;
}

bool JsonFields::Int64(const char *key, std::int64_t &out)
{
    QJsonValue v;
    if (!take(key, v))
        return false;
    // Whole numbers beyond 2^53 no longer read back exactly.
    if (!v.isDouble() || !IsWhole(v.toDouble(), 9007199254740992.0))
        return Fail(key, Expected::WholeNumber);
    out = static_cast<std::int64_t>(v.toDouble());
    return true;
}

bool JsonFields::Bool(const char *key, bool &out)
{
    QJsonValue v;
    if (!take(key, v))
        return false;
    if (!v.isBool())
        return Fail(key, Expected::Boolean);
    out = v.toBool();
    return true;
}

bool JsonFields::Object(const char *key, QJsonObject &out)
{
    QJsonValue v;
    if (!take(key, v))
        return false;
    if (!v.isObject())
        return Fail(key, Expected::Object);
    out = v.toObject();
    return true;
}

} // namespace measure
