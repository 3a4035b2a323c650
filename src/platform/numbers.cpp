// Locale-independent number text (see numbers.h).
#include "platform/numbers.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <system_error>

namespace platform {

bool ParseInt(const std::string &text, long long &out)
{
    const char *first = text.data(), *last = text.data() + text.size();
    // from_chars takes no '+' and no blanks; one sign only.
    if (first != last && *first == '+' && ++first != last && (*first == '+' || *first == '-'))
        return false;
    if (first == last)
        return false;
    long long v = 0;
    const auto [end, ec] = std::from_chars(first, last, v, 10);
    if (ec != std::errc() || end != last)
        return false;
    out = v;
    return true;
}

bool ParseFloat(const std::string &text, double &out)
{
    // Only plain decimal notation: digits, one point, optional sign and
    // exponent (from_chars alone would take "inf", "nan" and hexadecimal
    // digits after a "0x" nowhere, but checks nothing else we want).
    if (text.empty())
        return false;
    for (char c : text)
        if (!(std::isdigit(static_cast<unsigned char>(c)) || c == '.' || c == '-' || c == '+' || c == 'e' ||
              c == 'E'))
            return false;
    const char *first = text.data(), *last = text.data() + text.size();
    if (*first == '+' && ++first != last && (*first == '+' || *first == '-'))
        return false;
    if (first == last)
        return false;
    double v = 0.0;
    const auto [end, ec] = std::from_chars(first, last, v, std::chars_format::general);
    if (ec != std::errc() || end != last || !std::isfinite(v))
        return false;
    out = v;
    return true;
}

std::string FormatNumber(double value, char conversion, int precision, int width)
{
    std::string s;
    if (!std::isfinite(value)) {
        s = std::isnan(value) ? "nan" : value < 0 ? "-inf" : "inf";
    } else {
        std::chars_format format = std::chars_format::fixed;
        const char lower = static_cast<char>(std::tolower(static_cast<unsigned char>(conversion)));
        if (lower == 'e')
            format = std::chars_format::scientific;
        else if (lower == 'g')
            format = std::chars_format::general;
        precision = std::clamp(precision, 0, 60);
        // The longest fixed text: 309 digits before the point, the sign, the
        // point and the decimals.
        char buffer[400];
        const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value, format, precision);
        if (ec != std::errc())
            return "nan";
        s.assign(buffer, end);
        if (conversion == 'E' || conversion == 'G')
            std::transform(s.begin(), s.end(), s.begin(),
                           [](char c) { return static_cast<char>(std::toupper(static_cast<unsigned char>(c))); });
    }
    if (width > static_cast<int>(s.size()))
        s.insert(0, static_cast<std::size_t>(width) - s.size(), ' ');
    return s;
}

std::string FormatFixed(double value, int decimals)
{
    std::string s = FormatNumber(value, 'f', decimals);
    if (s.size() > 1 && s[0] == '-' && s.find_first_not_of("-0.") == std::string::npos)
        s.erase(0, 1); // no negative zero in the file
    return s;
}

std::string FormatShortest(float value)
{
    if (!std::isfinite(value))
        return FormatNumber(value, 'g', 6);
    char buffer[64];
    const auto [end, ec] = std::to_chars(buffer, buffer + sizeof buffer, value);
    return ec == std::errc() ? std::string(buffer, end) : std::string("nan");
}

} // namespace platform
