// Formatting and parsing of the program's texts: the %d, %s, %c and %f it writes, the seconds it reads back.
#include "format.h"

#include <cstdint>
#include <cstring>

namespace runtime {

namespace {

// Appends to a bounded buffer and counts what a large enough one would hold.
struct Output {
    char* out;
    size_t size;
    size_t length = 0;

    void Put(char c)
    {
        if (length + 1 < size)
            out[length] = c;
        ++length;
    }
    void Put(const char* text, size_t count, int width)
    {
        for (int pad = width - static_cast<int>(count); pad > 0; --pad)
            Put(' ');
        for (size_t i = 0; i < count; ++i)
            Put(text[i]);
    }
};

// A decimal number as digits, least significant first: big enough for any
// double's exact value (at most 767 digits) with room for the places asked.
struct Digits {
    static const int kMax = 800;
    unsigned char d[kMax];
    int count = 0;

    void Multiply(unsigned factor)
    {
        unsigned carry = 0;
        for (int i = 0; i < count; ++i) {
            carry += d[i] * factor;
            d[i] = static_cast<unsigned char>(carry % 10);
            carry /= 10;
        }
        for (; carry; carry /= 10)
            d[count++] = static_cast<unsigned char>(carry % 10);
    }
    // Drops the lowest places digits, rounding the rest half to even.
    void Round(int places)
    {
        auto at = [&](int i) { return i < count ? d[i] : 0; };
        const int first = at(places - 1);
        bool rest = false;
        for (int i = 0; i < places - 1 && i < count; ++i)
            rest = rest || d[i] != 0;
        const bool up = first > 5 || (first == 5 && (rest || at(places) % 2 == 1));
        const int kept = count > places ? count - places : 0;
        std::memmove(d, d + (count - kept), static_cast<size_t>(kept));
        count = kept;
        for (int i = 0; up; ++i) {
            if (i == count)
                d[count++] = 0;
            const bool carry = d[i] == 9;
            d[i] = carry ? 0 : d[i] + 1;
            if (!carry)
                break;
        }
    }
    // Appends places zero digits at the low end.
    void Shift(int places)
    {
        std::memmove(d + places, d, static_cast<size_t>(count));
        std::memset(d, 0, static_cast<size_t>(places));
        count += places;
    }
};

// "%.<precision>f" of value into text (sign included); returns its length.
// A double is m * 2^e exactly: its decimal value is m * 2^e, or m * 5^-e
// with -e places after the point, which is then rounded to precision places.
size_t FixedText(double value, int precision, char* text)
{
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    size_t length = 0;
    if (bits >> 63)
        text[length++] = '-';
    const int exponent = static_cast<int>((bits >> 52) & 0x7FF);
    uint64_t mantissa = bits & ((uint64_t(1) << 52) - 1);
    if (exponent == 0x7FF) {
        std::memcpy(text + length, mantissa ? "nan" : "inf", 3);
        return length + 3;
    }
    int power = exponent ? exponent - 1075 : -1074;
    if (exponent)
        mantissa |= uint64_t(1) << 52;

    Digits number;
    for (; mantissa; mantissa /= 10)
        number.d[number.count++] = static_cast<unsigned char>(mantissa % 10);
    int places = 0;
    for (; power > 0; --power)
        number.Multiply(2);
    for (; power < 0; ++power, ++places)
        number.Multiply(5);
    if (places > precision)
        number.Round(places - precision);
    else
        number.Shift(precision - places);
    while (number.count <= precision)
        number.d[number.count++] = 0;

    for (int i = number.count - 1; i >= 0; --i) {
        text[length++] = static_cast<char>('0' + number.d[i]);
        if (i == precision && precision > 0)
            text[length++] = '.';
    }
    return length;
}

size_t IntegerText(int value, char* text)
{
    char reversed[12];
    size_t count = 0;
    unsigned magnitude = value < 0 ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
    do {
        reversed[count++] = static_cast<char>('0' + magnitude % 10);
        magnitude /= 10;
    } while (magnitude);
    size_t length = 0;
    if (value < 0)
        text[length++] = '-';
    while (count)
        text[length++] = reversed[--count];
    return length;
}

int Number(const char*& p)
{
    int n = 0;
    while (*p >= '0' && *p <= '9')
        n = n * 10 + (*p++ - '0');
    return n;
}

}  // namespace

int FormatV(char* out, size_t size, const char* format, va_list args)
{
    // The program asks for at most a few places; more would not fit the digits.
    const int kMaxPrecision = 40;
    Output output{out, size};
    for (const char* p = format; *p; ++p) {
        if (*p != '%') {
            output.Put(*p);
            continue;
        }
        const char* start = p++;
        const int width = Number(p);
        int precision = -1;
        if (*p == '.') {
            ++p;
            precision = Number(p);
        }
        char text[Digits::kMax + kMaxPrecision + 4];
        switch (*p) {
        case 'd':
            output.Put(text, IntegerText(va_arg(args, int), text), width);
            break;
        case 'f':
            precision = precision < 0 ? 6 : precision > kMaxPrecision ? kMaxPrecision : precision;
            output.Put(text, FixedText(va_arg(args, double), precision, text), width);
            break;
        case 's': {
            const char* s = va_arg(args, const char*);
            output.Put(s, std::strlen(s), width);
            break;
        }
        case 'c':
            text[0] = static_cast<char>(va_arg(args, int));
            output.Put(text, 1, width);
            break;
        case '%':
            output.Put('%');
            break;
        default:
            // Not one of the program's conversions: copied as it stands.
            for (const char* q = start; q < p && *q; ++q)
                output.Put(*q);
            if (!*p)
                --p;
            else
                output.Put(*p);
        }
    }
    if (size)
        out[output.length < size ? output.length : size - 1] = '\0';
    return static_cast<int>(output.length);
}

int Format(char* out, size_t size, const char* format, ...)
{
    va_list args;
    va_start(args, format);
    const int length = FormatV(out, size, format, args);
    va_end(args);
    return length;
}

double ParseDecimal(const char* text, char** end)
{
    const char* p = text;
    while (*p == ' ' || (*p >= '\t' && *p <= '\r'))
        ++p;
    const bool negative = *p == '-';
    if (*p == '-' || *p == '+')
        ++p;
    // The digits as one integer, and how many of them follow the point.
    double whole = 0;
    int places = 0;
    bool any = false;
    for (; *p >= '0' && *p <= '9'; ++p, any = true)
        whole = whole * 10 + (*p - '0');
    if (*p == '.') {
        for (++p; *p >= '0' && *p <= '9'; ++p, any = true, ++places)
            whole = whole * 10 + (*p - '0');
    }
    if (!any) {
        if (end)
            *end = const_cast<char*>(text);
        return 0;
    }
    if (end)
        *end = const_cast<char*>(p);
    // Both exact (whole below 2^53, 10^places up to 10^22): one division rounds correctly.
    double scale = 1;
    for (int i = 0; i < places; ++i)
        scale *= 10;
    const double value = whole / scale;
    return negative ? -value : value;
}

}  // namespace runtime
