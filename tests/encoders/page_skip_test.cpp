// Pages the command-language encoders (TSPL, two-colour TSPL, ZPL, SF ZPL,
// CPCL, ESC/POS) cannot encode are skipped whole: nullptr, an "ERROR: " line,
// and nothing of the page in the dump.
#include <gtest/gtest.h>

#include <string>

#include "encoders/cpcl.h"
#include "encoders/escpos.h"
#include "encoders/sf_zpl.h"
#include "encoders/tspl.h"
#include "encoders/tspl_two_color.h"
#include "encoders/zpl.h"
#include "tests/encoders/encoder_fixture.h"

#if defined(__SANITIZE_ADDRESS__)
#define ZV_PAGE_SKIP_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZV_PAGE_SKIP_ASAN 1
#endif
#endif

namespace zvtest {
namespace {

using Encoder = dynamic_array *(*)(unsigned char *, long, long, PrinterSettings *);

// The two-colour page as the page loop hands it over: RGBA rows of 4 * width bytes.
dynamic_array *twoColour(unsigned char *page, long width, long height, PrinterSettings *settings) {
    return getTSPLTwoColorPrintData(page, 4 * width, width, height, settings);
}

const struct {
    const char *name;
    Encoder encoder;
    int16_t compressed;
} kEncoders[] = {
    {"TSPL", getTSPLPrintData, 0},          {"TSPL zlib", getTSPLPrintData, 1}, {"two-colour TSPL", twoColour, 0},
    {"two-colour TSPL zlib", twoColour, 1}, {"ZPL", getZPLPrintData, 0},        {"ZPL Z64", getZPLPrintData, 1},
    {"SF ZPL", getSFZPLPrintData, 0},       {"CPCL", getCPCLPrintData, 0},      {"CPCL CG", getCPCLPrintData, 1},
    {"ESC/POS", getESCPrintData, 0},
};

TEST(LanguageEncoders, UnallocatablePageIsSkippedWithAnError) {
#ifdef ZV_PAGE_SKIP_ASAN
    GTEST_SKIP() << "AddressSanitizer aborts on impossible allocations instead of failing them";
#else
    // 2^16 - 8 dots a row (within what every command can express) times 2^40
    // rows: no machine has that; the page itself is never read.
    unsigned char page[8] = {0};
    for (const auto &e : kEncoders) {
        PrinterSettings s = labelSettings();
        s.isCompressie = e.compressed;
        testing::internal::CaptureStderr();
        dynamic_array *out = e.encoder(page, 65528, 1L << 40, &s);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(out, nullptr) << e.name;
        dynamic_array_destroy(out);
        EXPECT_EQ(err.rfind("ERROR: ", 0), 0u) << e.name << ": " << err;
    }
#endif
}

TEST(LanguageEncoders, PageWithoutDotsIsSkippedWithAnError) {
    unsigned char page[8] = {0};
    const struct { long width, height; } sizes[] = {{0, 1}, {7, 1}, {8, 0}, {-8, 4}};
    for (const auto &e : kEncoders) {
        for (const auto &size : sizes) {
            PrinterSettings s = labelSettings();
            testing::internal::CaptureStderr();
            dynamic_array *out = e.encoder(page, size.width, size.height, &s);
            const std::string err = testing::internal::GetCapturedStderr();
            EXPECT_EQ(out, nullptr) << e.name << " " << size.width << "x" << size.height;
            dynamic_array_destroy(out);
            EXPECT_EQ(err.rfind("ERROR: ", 0), 0u) << err;
        }
        testing::internal::CaptureStderr();
        EXPECT_EQ(e.encoder(nullptr, 8, 1, nullptr), nullptr);
        testing::internal::GetCapturedStderr();
    }
}

}  // namespace
}  // namespace zvtest
