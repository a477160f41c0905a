#include "protocol_print/model_scaling.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "core/debug_log.h"
#include "imaging/cubic_zoom.h"
#include "tests/support/owned_handles.h"
#include "tests/support/temp_dir.h"

namespace {

using ZoomFn = uint8_t *(*)(const uint8_t *, uint32_t, uint32_t, uint32_t *, uint32_t *);

using Bitmap = zvtest::MallocPtr<uint8_t>;

// Left-right and top-bottom asymmetric content, so that a misplaced,
// unmirrored or shifted image cannot match.
std::vector<uint8_t> patternPage(uint32_t w, uint32_t h) {
    std::vector<uint8_t> page(static_cast<size_t>(w) * h);
    for (uint32_t y = 0; y < h; ++y) {
        for (uint32_t x = 0; x < w; ++x) {
            page[static_cast<size_t>(y) * w + x] = static_cast<uint8_t>((x * 3 + y * 5 + ((x * y) >> 7)) & 255);
        }
    }
    return page;
}

// Sends the log into a private directory for the test's lifetime.
class ModelScalingTest : public ::testing::Test {
  protected:
    void SetUp() override { closeDebugLog(); }
    void TearDown() override { closeDebugLog(); }
    std::string logText() const { return zvtest::readFileText(dir_.file("LxxLog.log")); }

  private:
    zvtest::TempDir dir_;
    zvtest::ScopedLogDir logDir_{dir_.path()};
};

struct ModelCase {
    const char *name;
    ZoomFn zoom;
    uint32_t srcW, srcH;
    uint32_t pageW, pageH, imgW, imgH, xOff, firstRow;
    bool mirrored;
};

void PrintTo(const ModelCase &c, std::ostream *os) { *os << c.name << " " << c.srcW << "x" << c.srcH; }

class ModelGeometry : public ::testing::TestWithParam<ModelCase> {};

// The page must be the scaled source placed at (xOff, firstRow) on white, then
// mirrored for the mirrored models.
TEST_P(ModelGeometry, PageIsTheScaledSourcePlacedOnWhite) {
    const ModelCase &c = GetParam();
    const auto src = patternPage(c.srcW, c.srcH);
    uint32_t pageW = 0;
    uint32_t pageH = 0;
    Bitmap page(c.zoom(src.data(), c.srcW, c.srcH, &pageW, &pageH));
    ASSERT_NE(page, nullptr);
    ASSERT_EQ(pageW, c.pageW);
    ASSERT_EQ(pageH, c.pageH);
    ASSERT_LE(c.firstRow + c.imgH, c.pageH);

    Bitmap image(bitmapZoom(src.data(), c.srcW, c.srcH, c.imgW, c.imgH));
    ASSERT_NE(image, nullptr);
    std::vector<uint8_t> expected(static_cast<size_t>(pageW) * pageH, 255);
    for (uint32_t r = 0; r < c.imgH; ++r) {
        std::copy_n(image.get() + static_cast<size_t>(r) * c.imgW, c.imgW,
                    expected.begin() + static_cast<size_t>(c.firstRow + r) * pageW + c.xOff);
    }
    if (c.mirrored) {
        for (uint32_t r = 0; r < pageH; ++r) {
            const size_t rowStart = static_cast<size_t>(r) * pageW;
            // First byte of the row printed is the last of the unmirrored row.
            ASSERT_EQ(page.get()[rowStart], expected[rowStart + pageW - 1]) << "row " << r;
            std::reverse(expected.begin() + rowStart, expected.begin() + rowStart + pageW);
        }
    }
    const std::vector<uint8_t> actual(page.get(), page.get() + expected.size());
    const auto mismatch = std::mismatch(actual.begin(), actual.end(), expected.begin());
    EXPECT_TRUE(mismatch.first == actual.end())
        << "first difference at row " << (mismatch.first - actual.begin()) / pageW << " column "
        << (mismatch.first - actual.begin()) % pageW;
}

// Page, image, first image column (before mirroring) and first image row.
INSTANTIATE_TEST_SUITE_P(
    ReferenceTable, ModelGeometry,
    ::testing::Values(
        ModelCase{"LP40", driveBitmapZoomToLP40, 1664, 2400, 1664, 2400, 1647, 2376, 8, 24, false},
        ModelCase{"LP40", driveBitmapZoomToLP40, 2000, 1000, 2000, 1000, 1952, 976, 24, 24, false},
        ModelCase{"LP40", driveBitmapZoomToLP40, 3000, 1500, 2592, 1296, 2544, 1272, 24, 24, false},
        ModelCase{"L50", driveBitmapZoomToL50, 1664, 2400, 1664, 2400, 1647, 2376, 8, 24, false},
        ModelCase{"L50", driveBitmapZoomToL50, 2000, 1000, 2000, 1000, 1952, 976, 24, 24, false},
        ModelCase{"L40", driveBitmapZoomToL40, 1664, 2400, 1664, 2191, 1502, 2167, 81, 24, false},
        ModelCase{"L40", driveBitmapZoomToL40, 2000, 1000, 1664, 807, 1566, 783, 49, 24, false},
        ModelCase{"L40A", driveBitmapZoomToL40A, 1664, 2400, 2496, 2174, 1490, 2150, 503, 24, false},
        ModelCase{"L40A", driveBitmapZoomToL40A, 2000, 1000, 2496, 752, 1456, 728, 520, 24, false},
        ModelCase{"L40S", driveBitmapZoomToL40S_Tattoo, 1664, 2400, 1664, 2457, 1550, 2180, 57, 116, true},
        ModelCase{"L40S", driveBitmapZoomToL40S_Tattoo, 2000, 1000, 1664, 1091, 1550, 756, 57, 116, true},
        ModelCase{"L50A", driveBitmapZoomToL50A, 1664, 2400, 1585, 2400, 1585, 2286, 0, 57, false},
        ModelCase{"L50A", driveBitmapZoomToL50A, 2000, 1000, 1646, 1000, 1646, 823, 0, 88, false},
        ModelCase{"L40S_Normal", driveBitmapZoomToL40S_Normal, 1664, 2400, 1664, 2163, 1483, 2139, 90, 24, false},
        ModelCase{"L40S_Normal", driveBitmapZoomToL40S_Normal, 2000, 1000, 1664, 797, 1546, 773, 59, 24, false},
        ModelCase{"L10", driveBitmapZoomToL10, 1664, 2400, 1585, 2400, 1585, 2286, 0, 69, false},
        ModelCase{"L10", driveBitmapZoomToL10, 2000, 1000, 1664, 1000, 1664, 832, 0, 96, false},
        ModelCase{"L20", driveBitmapZoomToL20, 1664, 2400, 1616, 2410, 1616, 2330, 0, 52, false},
        ModelCase{"L20", driveBitmapZoomToL20, 2000, 1000, 1664, 990, 1664, 832, 0, 91, false},
        // Limited by height; the image ends on the last page row.
        ModelCase{"L20", driveBitmapZoomToL20, 1712, 400, 1664, 381, 1527, 357, 68, 24, false},
        ModelCase{"L10_Tattoo_XL", driveBitmapZoomToL10_Tattoo_XL, 1664, 2400, 1664, 2660, 1622, 2372, 21, 226, true},
        ModelCase{"L10_Tattoo_XL", driveBitmapZoomToL10_Tattoo_XL, 2000, 1000, 1664, 1240, 1622, 822, 21, 226, true},
        ModelCase{"M10", driveBitmapZoomToM10, 1664, 2400, 1608, 2279, 1497, 2160, 55, 119, true},
        ModelCase{"M10", driveBitmapZoomToM10, 2000, 1000, 1631, 879, 1520, 760, 55, 119, true},
        ModelCase{"L40S_Tattoo_Left", driveBitmapZoomToL40S_Tattoo_Left, 1664, 2400, 1621, 2223, 1460, 2107, 80, 116,
                  true},
        ModelCase{"L40S_Tattoo_Left", driveBitmapZoomToL40S_Tattoo_Left, 2000, 1000, 1661, 857, 1482, 741, 89, 116,
                  true}));

struct SmallCase {
    const char *name;
    ZoomFn zoom;
    uint32_t srcW, srcH;
    bool belowMargins;
};

void PrintTo(const SmallCase &c, std::ostream *os) { *os << c.name << " " << c.srcW << "x" << c.srcH; }

class SmallPage : public ModelScalingTest, public ::testing::WithParamInterface<SmallCase> {};

// A page smaller than the margins must not wrap into a huge page: it prints
// what fits, with a warning to CUPS and in the log.
TEST_P(SmallPage, PrintsWhatFitsWithoutWrapping) {
    const SmallCase &c = GetParam();
    const std::vector<uint8_t> black(static_cast<size_t>(c.srcW) * c.srcH, 0);
    uint32_t pageW = 0;
    uint32_t pageH = 0;
    ::testing::internal::CaptureStderr();
    Bitmap page(c.zoom(black.data(), c.srcW, c.srcH, &pageW, &pageH));
    const std::string err = ::testing::internal::GetCapturedStderr();
    ASSERT_NE(page, nullptr);
    EXPECT_GE(pageW, 1u);
    EXPECT_LE(pageW, 2496u);  // the widest head
    EXPECT_GE(pageH, 1u);
    EXPECT_LE(pageH, c.srcH + 240u);
    const uint8_t *p = page.get();
    EXPECT_TRUE(std::any_of(p, p + static_cast<size_t>(pageW) * pageH, [](uint8_t v) { return v < 128; }))
        << "no image on the page";

    const std::string warning = "WARNING: page smaller than the printable margins";
    if (c.belowMargins) {
        EXPECT_EQ(err, warning + "\n");
        EXPECT_NE(logText().find(warning + "\r\n"), std::string::npos);
    } else {
        EXPECT_EQ(err, "");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Models, SmallPage,
    ::testing::Values(
        SmallCase{"LP40", driveBitmapZoomToLP40, 16, 16, true}, SmallCase{"L40", driveBitmapZoomToL40, 16, 16, true},
        SmallCase{"L50", driveBitmapZoomToL50, 16, 16, true}, SmallCase{"L40A", driveBitmapZoomToL40A, 16, 16, true},
        SmallCase{"L40S", driveBitmapZoomToL40S_Tattoo, 16, 16, false},
        SmallCase{"L50A", driveBitmapZoomToL50A, 16, 16, true},
        SmallCase{"L40S_Normal", driveBitmapZoomToL40S_Normal, 16, 16, true},
        SmallCase{"L10", driveBitmapZoomToL10, 16, 16, true}, SmallCase{"L20", driveBitmapZoomToL20, 16, 16, true},
        SmallCase{"L10_Tattoo_XL", driveBitmapZoomToL10_Tattoo_XL, 16, 16, false},
        SmallCase{"M10", driveBitmapZoomToM10, 16, 16, true},
        SmallCase{"L40S_Tattoo_Left", driveBitmapZoomToL40S_Tattoo_Left, 16, 16, true},
        // Just at the edges of the margins.
        SmallCase{"L40", driveBitmapZoomToL40, 1664, 207, true},
        SmallCase{"L40", driveBitmapZoomToL40, 1664, 209, false},
        SmallCase{"L50A", driveBitmapZoomToL50A, 79, 400, true},
        SmallCase{"L50A", driveBitmapZoomToL50A, 80, 400, false},
        SmallCase{"L40S", driveBitmapZoomToL40S_Tattoo, 400, 1, true},
        // 100 dots is 12 mm: narrower than the 5 + 7 + 7 mm margins.
        SmallCase{"M10", driveBitmapZoomToM10, 100, 400, true},
        SmallCase{"L40S_Tattoo_Left", driveBitmapZoomToL40S_Tattoo_Left, 400, 240, true}));

TEST_F(ModelScalingTest, EmptySourceGivesNoPage) {
    const uint8_t pixel = 0;
    uint32_t pageW = 9;
    uint32_t pageH = 9;
    EXPECT_EQ(driveBitmapZoomToL40(&pixel, 0, 10, &pageW, &pageH), nullptr);
    EXPECT_EQ(pageW, 0u);
    EXPECT_EQ(pageH, 0u);
    EXPECT_EQ(driveBitmapZoomToM10(nullptr, 10, 10, &pageW, &pageH), nullptr);
}

// The driver picks the page by model number: each number gives the page of
// its model's builder, byte for byte; other numbers give no page.
TEST_F(ModelScalingTest, ModelNumberSelectsItsBuilder) {
    const ZoomFn byNumber[] = {driveBitmapZoomToLP40,
                               driveBitmapZoomToL40,
                               driveBitmapZoomToL50,
                               driveBitmapZoomToL40A,
                               driveBitmapZoomToL40S_Tattoo,
                               driveBitmapZoomToL50A,
                               driveBitmapZoomToL40S_Normal,
                               driveBitmapZoomToL10,
                               driveBitmapZoomToL20,
                               driveBitmapZoomToL40,
                               driveBitmapZoomToL10_Tattoo_XL,
                               driveBitmapZoomToM10,
                               driveBitmapZoomToL40S_Tattoo_Left};
    const auto src = patternPage(700, 900);
    for (int32_t model = 0; model < 13; ++model) {
        uint32_t w = 0, h = 0, namedW = 0, namedH = 0;
        Bitmap page(driveBitmapZoomToModel(model, src.data(), 700, 900, &w, &h));
        Bitmap named(byNumber[model](src.data(), 700, 900, &namedW, &namedH));
        ASSERT_NE(page, nullptr) << "model " << model;
        ASSERT_EQ(w, namedW) << "model " << model;
        ASSERT_EQ(h, namedH) << "model " << model;
        EXPECT_TRUE(std::equal(page.get(), page.get() + static_cast<size_t>(w) * h, named.get())) << "model " << model;
    }
    for (int32_t model : {-1, 13, 161}) {
        uint32_t w = 9, h = 9;
        EXPECT_EQ(driveBitmapZoomToModel(model, src.data(), 700, 900, &w, &h), nullptr) << "model " << model;
        EXPECT_EQ(w, 0u);
        EXPECT_EQ(h, 0u);
    }
}

// The page size the page loop budgets with is the size the builder makes, for
// every model and for sources large, narrow, wide and below the margins.
TEST_F(ModelScalingTest, PageSizeWithoutBuildingIsTheBuiltSize) {
    const std::pair<uint32_t, uint32_t> sources[] = {{1664, 2400}, {2000, 1000}, {3000, 1500}, {1712, 400},
                                                     {8, 3000},    {100, 30},    {1, 1}};
    for (int32_t model = 0; model < 13; ++model) {
        for (const auto &[w, h] : sources) {
            const auto src = patternPage(w, h);
            uint32_t builtW = 0;
            uint32_t builtH = 0;
            Bitmap page(driveBitmapZoomToModel(model, src.data(), w, h, &builtW, &builtH));
            ASSERT_NE(page, nullptr) << "model " << model << " " << w << "x" << h;
            uint32_t pageW = 1;
            uint32_t pageH = 1;
            EXPECT_TRUE(zvModelPageSize(model, w, h, &pageW, &pageH));
            EXPECT_EQ(pageW, builtW) << "model " << model << " " << w << "x" << h;
            EXPECT_EQ(pageH, builtH) << "model " << model << " " << w << "x" << h;
        }
    }
    uint32_t pageW = 1;
    uint32_t pageH = 1;
    EXPECT_FALSE(zvModelPageSize(13, 100, 100, &pageW, &pageH));
    EXPECT_EQ(pageW, 0u);
    EXPECT_EQ(pageH, 0u);
    EXPECT_FALSE(zvModelPageSize(-1, 100, 100, &pageW, &pageH));
    EXPECT_FALSE(zvModelPageSize(1, 0, 100, &pageW, &pageH));
    EXPECT_FALSE(zvModelPageSize(1, 100, 0, &pageW, &pageH));
    EXPECT_EQ(pageH, 0u);
}

TEST_F(ModelScalingTest, WhiteSourceGivesWhitePage) {
    const std::vector<uint8_t> white(300 * 500, 255);
    uint32_t pageW = 0;
    uint32_t pageH = 0;
    Bitmap page(driveBitmapZoomToL40S_Tattoo_Left(white.data(), 300, 500, &pageW, &pageH));
    ASSERT_NE(page, nullptr);
    const uint8_t *p = page.get();
    EXPECT_TRUE(std::all_of(p, p + static_cast<size_t>(pageW) * pageH, [](uint8_t v) { return v == 255; }));
}

// Out of memory: no page and no write through a missing buffer. The sizes
// claim far more than the address-space limit of the child; the tiny source
// is never read because the allocations fail first.
TEST(ModelScalingDeathTest, AllocationFailureReturnsNoPage) {
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator does not honour an address-space limit";
#else
    auto run = [](uint32_t srcH) {
        const rlimit limit{1ull << 30, 1ull << 30};
        setrlimit(RLIMIT_AS, &limit);
        const uint8_t pixel = 0;
        uint32_t pageW = 5;
        uint32_t pageH = 5;
        // L50A: the page is 1585 x srcH, the scaled image 1585 x (0.95 srcH).
        uint8_t *page = driveBitmapZoomToL50A(&pixel, 1664, srcH, &pageW, &pageH);
        std::exit(page == nullptr && pageW == 0 && pageH == 0 ? 0 : 1);
    };
    // The page itself does not fit.
    EXPECT_EXIT(run(4000000000u), ::testing::ExitedWithCode(0), "ERROR: Unable to allocate memory");
    // The page fits (634 MB) but the scaled image (603 MB) does not.
    EXPECT_EXIT(run(400000u), ::testing::ExitedWithCode(0), "ERROR: Unable to allocate memory");
#endif
}

}  // namespace

namespace {

// The mirrored models are exactly those whose page rows come out reversed.
TEST(ModelScaling, MirroredModelsAreTheOnesThatReverseRows) {
    const struct {
        int32_t model;
        bool mirrored;
    } cases[] = {{-1, false}, {0, false}, {1, false}, {2, false}, {3, false}, {4, true},  {5, false},  {6, false},
                 {7, false},  {8, false}, {9, false}, {10, true}, {11, true}, {12, true}, {13, false}, {161, false}};
    for (const auto &c : cases) EXPECT_EQ(c.mirrored, isZVMirroredModel(c.model)) << c.model;

    // A page whose left half is black comes back with its black on the right
    // only on a mirrored model.
    std::vector<uint8_t> page(64 * 32, 255);
    for (uint32_t y = 0; y < 32; ++y)
        for (uint32_t x = 0; x < 32; ++x) page[y * 64 + x] = 0;
    for (int32_t model = 0; model < 13; ++model) {
        uint32_t w = 0, h = 0;
        Bitmap out(driveBitmapZoomToModel(model, page.data(), 64, 32, &w, &h));
        ASSERT_NE(out, nullptr) << model;
        // Darkness of the left and the right half, over all rows.
        uint64_t left = 0, right = 0;
        for (uint32_t y = 0; y < h; ++y)
            for (uint32_t x = 0; x < w / 2; ++x) {
                left += 255 - out.get()[y * w + x];
                right += 255 - out.get()[y * w + (w - 1 - x)];
            }
        EXPECT_EQ(isZVMirroredModel(model), right > left) << model;
    }
}

}  // namespace
