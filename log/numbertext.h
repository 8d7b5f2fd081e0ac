#ifndef NUMBERTEXT_H
#define NUMBERTEXT_H

// The text of the log's numbers, written straight into a caller's buffer:
// no allocation, no locale. Each function writes at out and returns the
// position just past what it wrote; nothing is terminated.
namespace NumberText
{

// The longest texts appendReal and appendInt write: "-1.23457e-308" and
// "-9223372036854775808". appendFixed stays within MaxRealLength.
constexpr int MaxRealLength = 13;
constexpr int MaxIntLength = 20;

// Six significant digits as %g lays them out (trailing zeros dropped, an
// exponent of at least two digits below 1e-4 and from 1e6 on), except that
// an exact tie rounds away from zero: 1234565 gives "1.23457e+06". A zero of
// either sign gives "0"; nan, inf and -inf give themselves.
char *appendReal(char *out, double value);

char *appendInt(char *out, long long value);

// What appendReal writes for value / 10^decimals, for a 16-bit value and 1
// to 3 decimals, written straight from the value's digits: such a quotient
// has at most five significant digits and always prints without exponent.
char *appendFixed(char *out, int value, int decimals);

} // namespace NumberText

#endif
