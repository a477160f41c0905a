// Printer-setting command packets of the print path (group 5). Each builder
// returns one packet, or the empty pack when it rejects its argument; the
// caller appends the pack (an empty one as nothing) and frees it.
#ifndef ZV_PROTOCOL_SETTING_PACKETS_H
#define ZV_PROTOCOL_SETTING_PACKETS_H

#include "protocol/packet.h"

// Paper type 0, 1 or 2 (command 17); anything above 2 is rejected.
SendPack setPrinterPrintPaperTypeData(int value);
// Print speed (command 7), low 8 bits.
SendPack setPrinterPrintSpeedData(int value);
// Silent mode (command 35), low 8 bits.
SendPack setPrinterPrintSilentModelData(int value);
// "darkness" or "darkness,second" (command 4); both numbers capped at 15.
SendPack setPrinterPrintDarknessData(const char *text);
// Printer interface (command 42), low 8 bits.
SendPack setPrinterPrintInterfaceData(int value);
// "mode,distance" (command 8); mode 1 or 2, distance 16 bits.
SendPack setPrinterPrintFeedData(const char *text);

// Up to two numbers of a text "a,b" (ASCII or full-width comma). Runs of
// commas count as one and empty fields are skipped, as strtok would; `count`
// says how many numbers were found. May throw std::bad_alloc.
struct NumberPair {
    int count = 0;
    int32_t first = 0;
    int32_t second = 0;
};
NumberPair splitNumbers(const char *text);

// Replaces every occurrence of `pattern` in the zero-terminated `text` by
// `replacement`, in place. Does nothing when the replacement is longer than
// the pattern (the result would not fit) or the pattern is empty.
void strReplece(char *text, const char *pattern, const char *replacement);

#endif
