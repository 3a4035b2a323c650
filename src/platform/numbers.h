// Numbers as text and back, with a full stop as decimal separator whatever
// the locale. Qt sets the C library's locale from the environment, so
// printf, strtod and their kin write and read a decimal comma under German
// settings; every number that goes to or comes from a file, a pipe or the
// instrument's own readouts goes through these instead.
//
// Threads: any (nothing here depends on or changes the global locale).
#pragma once

#include <string>

namespace platform {

// Strict parsing: the whole text must be the number (no blanks, no trailing
// characters). Integers are decimal with an optional sign; floats use a full
// stop and may carry an exponent; infinities and NaN are refused.
bool ParseInt(const std::string &text, long long &out);
bool ParseFloat(const std::string &text, double &out);

// One number as printf would write it with "%*.*<conversion>" in the C
// locale: conversion 'f' (fixed), 'e' or 'E' (exponent), 'g' or 'G' (the
// shorter of both, trailing zeros dropped). `width` pads with blanks on the
// left up to that many characters. Non-finite values give "inf", "-inf" or
// "nan".
std::string FormatNumber(double value, char conversion, int precision, int width = 0);

// Fixed-point text with `decimals` places and no negative zero: the form of
// the settings file's floats.
std::string FormatFixed(double value, int decimals);

// The shortest text that reads back as the same float: -6.4f gives "-6.4",
// where widening it to double would show -6.400000095367432.
std::string FormatShortest(float value);

} // namespace platform
