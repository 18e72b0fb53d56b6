#include "analysis/DecimalText.h"

#include <charconv>
#include <cmath>

namespace ZENT::SDK::Analysis {

namespace {

uint64_t Magnitude(int64_t value) {
    return value < 0 ? 0 - static_cast<uint64_t>(value) : static_cast<uint64_t>(value);
}

bool DividesPowerOfTen(uint32_t timescale) {
    while (timescale % 2 == 0) timescale /= 2;
    while (timescale % 5 == 0) timescale /= 5;
    return timescale == 1;
}

size_t DecimalDigits(uint32_t value) {
    size_t digits = 1;
    for (; value >= 10; value /= 10) ++digits;
    return digits;
}

char Digit(uint64_t value) { return static_cast<char>('0' + value); }

}  // namespace

void AppendUnsigned(std::string& text, uint64_t value) {
    char digits[20];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, value).ptr);
}

bool AppendSeconds(std::string& text, ContainerTime time) {
    const uint64_t timescale = time.timescale;
    if (timescale == 0) return false;
    const uint64_t magnitude = Magnitude(time.value);
    uint64_t whole = magnitude / timescale;
    uint64_t remainder = magnitude % timescale;
    // A timescale of 2^a 5^b ends within max(a, b) <= 31 places.
    char fraction[32];
    size_t places = 0;
    if (DividesPowerOfTen(time.timescale)) {
        for (; remainder != 0; ++places) {
            remainder *= 10;
            fraction[places] = Digit(remainder / timescale);
            remainder %= timescale;
        }
    } else {
        const size_t wanted = DecimalDigits(time.timescale);
        for (; places < wanted; ++places) {
            remainder *= 10;
            fraction[places] = Digit(remainder / timescale);
            remainder %= timescale;
        }
        if (2 * remainder >= timescale) {
            size_t carry = places;
            while (carry > 0 && fraction[carry - 1] == '9') fraction[--carry] = '0';
            if (carry > 0) {
                ++fraction[carry - 1];
            } else {
                ++whole;
            }
        }
        while (places > 0 && fraction[places - 1] == '0') --places;
    }
    if (time.value < 0) text += '-';
    AppendUnsigned(text, whole);
    if (places > 0) {
        text += '.';
        text.append(fraction, places);
    }
    return true;
}

bool AppendSeconds(std::string& text, double seconds) {
    if (!std::isfinite(seconds)) return false;
    // Room for the longest fixed-point double, 5e-324.
    char digits[400];
    text.append(digits, std::to_chars(digits, digits + sizeof digits, seconds, std::chars_format::fixed).ptr);
    return true;
}

void AppendMilliseconds(std::string& text, int64_t milliseconds) {
    const uint64_t magnitude = Magnitude(milliseconds);
    if (milliseconds < 0) text += '-';
    AppendUnsigned(text, magnitude / 1000);
    const uint64_t fraction = magnitude % 1000;
    const char places[] = {'.', Digit(fraction / 100), Digit(fraction / 10 % 10), Digit(fraction % 10)};
    text.append(places, sizeof places);
}

void AppendHex32(std::string& text, uint32_t value) {
    static constexpr char kHexDigits[] = "0123456789ABCDEF";
    char digits[8];
    for (int place = 7; place >= 0; --place, value >>= 4) digits[place] = kHexDigits[value & 0xF];
    text.append(digits, sizeof digits);
}

}  // namespace ZENT::SDK::Analysis
