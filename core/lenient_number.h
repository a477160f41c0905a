// Lenient number parsing shared by the PPD reader, the job options and the
// setting packets.
#ifndef ZV_CORE_LENIENT_NUMBER_H
#define ZV_CORE_LENIENT_NUMBER_H

#include <cstdint>

// Used for every PPD value and job option: optional
// blanks, optional sign, leading decimal digits; 0 when there is no digit.
// Overlong digit strings wrap instead of overflowing.
int64_t parseLeadingInt64(const char *text);
int32_t parseLeadingInt32(const char *text);
int16_t parseLeadingInt16(const char *text);

// The same number, but an overlong digit string sticks at the 64-bit limit
// instead of wrapping, so that a range check sees how large it really is.
int64_t parseLeadingInt64Saturated(const char *text);

#endif
