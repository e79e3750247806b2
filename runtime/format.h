// The shipping files' own printf-style formatting and decimal parsing (no C runtime DLL).
#pragma once
#include <cstdarg>
#include <cstddef>

namespace runtime {

// vsnprintf for the conversions the program writes: %d, %s, %c, %f with an
// optional width and precision, and %%. A number is written from the exact
// value of the double, rounded half to even, as MinGW's own printf does.
// Returns the length of the whole text; writes at most size bytes, NUL included.
int FormatV(char* out, size_t size, const char* format, va_list args);
int Format(char* out, size_t size, const char* format, ...);

// strtod for the decimal numbers the program writes (leading blanks, a sign,
// digits, a point, digits). Exact, as a correctly rounded strtod gives, for up
// to 15 significant digits and 22 after the point; *end as strtod sets it.
double ParseDecimal(const char* text, char** end);

}  // namespace runtime
