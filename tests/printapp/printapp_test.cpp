// The printer application as a person uses it: zvprintapp started on a
// loopback port, a printer added per family with a file as its device, jobs
// submitted with ipptool (CUPS's IPP tool) as PWG raster and as PNG, and the
// bytes that reach the file compared with the filter's output for the same
// page and the same settings, chosen in the filter's PPD and job options.
#include <arpa/inet.h>
#include <poll.h>
#include <termios.h>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <map>
#include <memory>
#include <mutex>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <png.h>

#include "tests/protocol/reply_frames.h"
#include "tests/support/filter_runner.h"
#include "tests/support/golden.h"
#include "tests/support/raster_writer.h"
#include "tests/support/temp_dir.h"

namespace zvtest {
namespace {

// Some print modes of the protocol printers jitter their threshold from a
// generator seeded with the clock's second, so the application and the filter
// print the same bytes only in the same second. Both run under libfaketime
// (Debian package faketime) with the clock stopped at one moment; the
// application's own timing runs on the monotonic clock, which is left alone.
const char *const kFakeTimeLibraries[] = {"/usr/lib/x86_64-linux-gnu/faketime/libfaketimeMT.so.1",
                                          "/usr/lib/aarch64-linux-gnu/faketime/libfaketimeMT.so.1",
                                          "/usr/lib/faketime/libfaketimeMT.so.1"};
constexpr const char *kFrozenTime = "2026-06-01 12:00:00";

std::string fakeTimeLibrary() {
    for (const char *path : kFakeTimeLibraries)
        if (::access(path, R_OK) == 0) return path;
    return "";
}

void freezeClockEnvironment(std::map<std::string, std::string> *env) {
    (*env)["LD_PRELOAD"] = fakeTimeLibrary();
    (*env)["FAKETIME"] = kFrozenTime;
    (*env)["DONT_FAKE_MONOTONIC"] = "1";
}

// A PWG raster stream, as IPP Everywhere clients send it, of the page's
// pixels: 8-bit sGray, or 8-bit sRGB for a colour page.
std::vector<uint8_t> makePwgRaster(const std::vector<RasterPage> &pages, const std::string &path) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
    for (const RasterPage &page : pages) {
    cups_page_header2_t header;
    const bool colour = page.colorSpace != CUPS_CSPACE_W;
    cupsRasterInitPWGHeader(&header, pwgMediaForPWG("na_letter_8.5x11in"), colour ? "srgb_8" : "sgray_8",
                            static_cast<int>(page.dpi), static_cast<int>(page.dpi), "one-sided", nullptr);
    header.cupsWidth = page.width;
    header.cupsHeight = page.height;
    header.cupsBytesPerLine = page.width * (colour ? 3 : 1);
    header.PageSize[0] = page.width * 72 / page.dpi;
    header.PageSize[1] = page.height * 72 / page.dpi;
    header.cupsPageSize[0] = static_cast<float>(header.PageSize[0]);
    header.cupsPageSize[1] = static_cast<float>(header.PageSize[1]);
    header.ImagingBoundingBox[2] = header.PageSize[0];
    header.ImagingBoundingBox[3] = header.PageSize[1];
    cupsRasterWriteHeader2(raster, &header);
    RasterPage copy = page;
    for (unsigned y = 0; y < page.height; ++y) {
        std::vector<uint8_t> line;
        const uint8_t *row = copy.row(y);
        for (unsigned x = 0; x < page.width; ++x) {
            if (colour) {
                line.insert(line.end(), {row[x * 4], row[x * 4 + 1], row[x * 4 + 2]});
            } else {
                line.push_back(row[x]);
            }
        }
        cupsRasterWritePixels(raster, line.data(), static_cast<unsigned>(line.size()));
    }
    }
    cupsRasterClose(raster);
    ::close(fd);
    return readFileBytes(path);
}

std::vector<uint8_t> makePwgRaster(const RasterPage &page, const std::string &path) {
    return makePwgRaster(std::vector<RasterPage>{page}, path);
}

// A label with what each family's packing has to deal with: solid black,
// a gray ramp, fine lines and white.
RasterPage testPage(unsigned dpi, bool colour) {
    const unsigned width = dpi * 2;
    const unsigned height = dpi;
    RasterPage page = colour ? RasterPage::rgba(width, height, 255, 255, 255) : RasterPage::gray(width, height);
    page.dpi = dpi;
    for (unsigned y = 0; y < height; ++y) {
        uint8_t *row = page.row(y);
        for (unsigned x = 0; x < width; ++x) {
            uint8_t r = 255, g = 255, b = 255;
            if (y < height / 4 && x < width / 2) {
                r = g = b = 0;  // black block
            } else if (y >= height / 2) {
                r = g = b = static_cast<uint8_t>(x * 255 / width);  // gray ramp
            } else if (x % 7 == 0) {
                r = g = b = 0;  // thin lines
            } else if (colour && y < height / 4) {
                r = 255;  // red block
                g = b = 0;
            }
            if (colour) {
                row[x * 4] = r;
                row[x * 4 + 1] = g;
                row[x * 4 + 2] = b;
                row[x * 4 + 3] = 255;
            } else {
                row[x] = r;
            }
        }
    }
    if (colour) {
        // The filter's two-colour PPD asks CUPS for RGB pages.
        RasterPage rgb;
        rgb.width = width;
        rgb.height = height;
        rgb.colorSpace = CUPS_CSPACE_RGB;
        rgb.dpi = dpi;
        for (size_t i = 0; i < page.pixels.size(); i += 4)
            rgb.pixels.insert(rgb.pixels.end(), {page.pixels[i], page.pixels[i + 1], page.pixels[i + 2]});
        return rgb;
    }
    return page;
}

// The same page as RGBA pixels for makePwgRaster, which reads 4 bytes per
// pixel of a colour page.
RasterPage asRgba(const RasterPage &rgb) {
    RasterPage page = RasterPage::rgba(rgb.width, rgb.height, 255, 255, 255);
    page.dpi = rgb.dpi;
    for (size_t i = 0, j = 0; i < rgb.pixels.size(); i += 3, j += 4) {
        page.pixels[j] = rgb.pixels[i];
        page.pixels[j + 1] = rgb.pixels[i + 1];
        page.pixels[j + 2] = rgb.pixels[i + 2];
    }
    return page;
}

int freeLoopbackPort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(fd, reinterpret_cast<sockaddr *>(&address), sizeof address);
    socklen_t length = sizeof address;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&address), &length);
    ::close(fd);
    return ntohs(address.sin_port);
}

bool portAccepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const bool ok = ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
    ::close(fd);
    return ok;
}

struct CommandResult {
    int status = -1;
    std::string output;
};

CommandResult runCommand(const std::string &command) {
    CommandResult result;
    FILE *pipe = ::popen((command + " 2>&1").c_str(), "r");
    if (pipe == nullptr) return result;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
    const int status = ::pclose(pipe);
    result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return result;
}

// ipptool says it cannot read a test file on standard error but exits with
// status 0: a run counts only when it passed its tests.
CommandResult checkedIpptool(CommandResult result) {
    if (result.status == 0 &&
        (result.output.find("[PASS]") == std::string::npos || result.output.find("[FAIL]") != std::string::npos))
        result.status = 1;
    return result;
}

// zvprintapp on a loopback port of its own, with its state in a temporary
// directory; stopped at the end.
class PrinterApp {
  public:
    explicit PrinterApp(const TempDir &dir) : dir_(dir), port_(freeLoopbackPort()) { start(); }
    ~PrinterApp() { stop(); }

    void start() {
        pid_ = ::fork();
        if (pid_ == 0) {
            // A test run that is killed takes its server with it.
            ::prctl(PR_SET_PDEATHSIG, SIGKILL);
            const std::string port = "server-port=" + std::to_string(port_);
            const std::string state = "state-file=" + dir_.file("zvprintapp.state");
            const std::string spool = "spool-directory=" + dir_.path();
            const std::string log = "log-file=" + dir_.file("zvprintapp.log");
            ::setenv("ZORVAN_LOG_DIR", dir_.path().c_str(), 1);
            // PAPPL puts the command-line socket of a server run by root in
            // /run, unless SNAP_COMMON names the directory: the test's own.
            ::setenv("SNAP_COMMON", dir_.path().c_str(), 1);
            std::map<std::string, std::string> env;
            freezeClockEnvironment(&env);
            for (const auto &[name, value] : env) ::setenv(name.c_str(), value.c_str(), 1);
            ::execl(ZV_PRINTAPP_PATH, "zvprintapp", "server", "-o", port.c_str(), "-o", state.c_str(), "-o",
                    spool.c_str(), "-o", log.c_str(), "-o", "log-level=debug", static_cast<char *>(nullptr));
            ::_exit(127);
        }
        for (int i = 0; i < 200 && !portAccepts(port_); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    void stop(int graceSeconds = 5) {
        if (pid_ <= 0) return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        // PAPPL lets a job that waits for its device finish first; a test
        // does not wait for that.
        for (int i = 0; i < graceSeconds * 20 && ::waitpid(pid_, &status, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (::waitpid(pid_, &status, WNOHANG) == 0) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &status, 0);
        }
        pid_ = -1;
    }

    pid_t pid() const { return pid_; }

    // Resident memory of the server in KiB.
    long residentKiB() const {
        const std::string status = readFileText("/proc/" + std::to_string(pid_) + "/status");
        const size_t at = status.find("VmRSS:");
        return at == std::string::npos ? -1 : std::atol(status.c_str() + at + 6);
    }

    std::string webUri(const std::string &path) const {
        return "http://localhost:" + std::to_string(port_) + "/" + path;
    }
    std::string systemUri() const { return "ipp://localhost:" + std::to_string(port_) + "/ipp/system"; }
    std::string printerUri(const std::string &name) const {
        return "ipp://localhost:" + std::to_string(port_) + "/ipp/print/" + name;
    }

    // Runs an ipptool test file (its text) against `uri`.
    CommandResult ipptool(const std::string &uri, const std::string &testText, const std::string &defines = "") {
        const std::string file = dir_.file("request-" + std::to_string(++requests_) + ".test");
        writeFileText(file, testText);
        return checkedIpptool(runCommand("ipptool -t " + defines + " " + uri + " " + file));
    }

    bool addPrinter(const std::string &name, const std::string &driver, const std::string &deviceFile) {
        writeFileText(deviceFile, "");
        return addPrinterAt(name, driver, "file://" + deviceFile);
    }

    bool addPrinterAt(const std::string &name, const std::string &driver, const std::string &deviceUri) {
        const CommandResult r = ipptool(systemUri(), R"({
  NAME "Add the printer"
  OPERATION Create-Printer
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri system-uri $uri
  ATTR keyword printer-service-type print
  ATTR keyword smi55357-driver )" + driver + R"(
  ATTR uri smi55357-device-uri )" + deviceUri + R"(
  GROUP printer-attributes-tag
  ATTR name printer-name )" + name + R"(
  STATUS successful-ok
}
)");
        EXPECT_EQ(r.status, 0) << r.output;
        return r.status == 0;
    }

    // Prints `file` and waits until the job has finished; `attributes` are
    // ipptool ATTR lines of the job-attributes group.
    bool print(const std::string &name, const std::string &file, const std::string &format,
               const std::string &attributes = "") {
        const CommandResult r = ipptool(printerUri(name), printAndWaitTest(file, format, attributes));
        EXPECT_EQ(r.status, 0) << r.output;
        return r.status == 0;
    }

    static std::string printAndWaitTest(const std::string &file, const std::string &format,
                                        const std::string &attributes = "") {
        return R"({
  NAME "Print the page"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name tester
  ATTR mimeMediaType document-format )" + format + R"(
  GROUP job-attributes-tag
)" + attributes + R"(
  FILE )" + file + R"(
  STATUS successful-ok
  EXPECT job-id OF-TYPE integer
}
{
  NAME "Wait for the job"
  OPERATION Get-Job-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR integer job-id $job-id
  STATUS successful-ok
  DELAY 0.1
  EXPECT job-state WITH-VALUE >6 REPEAT-NO-MATCH REPEAT-LIMIT 600
  EXPECT job-state WITH-VALUE 9
}
)";
    }

    // Sets printer defaults; `attributes` are ipptool ATTR lines of the
    // printer-attributes group.
    bool setDefaults(const std::string &name, const std::string &attributes) {
        const CommandResult r = ipptool(printerUri(name), R"({
  NAME "Set the printer's defaults"
  OPERATION Set-Printer-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  GROUP printer-attributes-tag
)" + attributes + R"(
  STATUS successful-ok
}
)");
        EXPECT_EQ(r.status, 0) << r.output;
        return r.status == 0;
    }

    std::string logText() const { return readFileText(dir_.file("zvprintapp.log")); }

  private:
    const TempDir &dir_;
    int port_;
    pid_t pid_ = -1;
    int requests_ = 0;
};

// One family: its driver, the filter's PPD for the same printer, and one set
// of settings as IPP attributes and as the filter's job options.
struct FamilyCase {
    const char *driver;
    const char *ppd;
    unsigned dpi;
    bool colour;
    const char *ippAttributes;  // ipptool ATTR lines
    const char *filterOptions;
};

const FamilyCase kFamilies[] = {
    {"zorvan_tspl_203", "zorvan-tspl-203.ppd", 203, false, "", ""},
    {"zorvan_tspl_203", "zorvan-tspl-203.ppd", 203, false,
     "ATTR integer darkness 12\nATTR integer speed 2\nATTR keyword print-mode ordered-dither\n"
     "ATTR integer horizontal-offset 16\nATTR integer vertical-offset 8\n"
     "ATTR collection media-col { MEMBER keyword media-tracking \"mark\" }\n",
     "Darkness=12 PrintSpeed=2 PrintMode=2 Horizontal=16 Vertical=8 MediaTracking=2"},
    {"zorvan_tspl_300", "zorvan-tspl-300.ppd", 300, false,
     "ATTR keyword print-mode photo-processed\nATTR keyword graphics-compression on\n", "PrintMode=7 Compression=1"},
    {"zorvan_tspl2c_203", "zorvan-tspl2c-203.ppd", 203, true, "", ""},
    {"zorvan_tspl2c_203", "zorvan-tspl2c-203.ppd", 203, true,
     "ATTR integer red-darkness 15\nATTR keyword colours all-black\n", "ColourDarkness=15 ColorPrintModel=3"},
    {"zorvan_zpl_203", "zorvan-zpl-203.ppd", 203, false, "", ""},
    {"zorvan_zpl_203", "zorvan-zpl-203.ppd", 203, false,
     "ATTR integer darkness 25\nATTR keyword print-mode clustered-dots\n"
     "ATTR collection media-col { MEMBER keyword media-tracking \"continuous\" }\n",
     "Darkness=25 PrintMode=3 MediaTracking=0"},
    {"zorvan_zpl_300", "zorvan-zpl-300.ppd", 300, false, "", ""},
    {"zorvan_zpl_300", "zorvan-zpl-300.ppd", 300, false, "ATTR keyword graphics-compression off\n", "Compression=0"},
    {"zorvan_sfzpl_203", "zorvan-sfzpl-203.ppd", 203, false, "", ""},
    {"zorvan_cpcl_203", "zorvan-cpcl-203.ppd", 203, false, "", ""},
    {"zorvan_cpcl_203", "zorvan-cpcl-203.ppd", 203, false,
     "ATTR integer darkness 50\nATTR integer speed 5\nATTR keyword graphics-compression off\n",
     "Darkness=50 PrintSpeed=5 Compression=0"},
    {"zorvan_escpos_58", "zorvan-escpos-58.ppd", 203, false, "", ""},
    {"zorvan_escpos_80", "zorvan-escpos-80.ppd", 203, false,
     "ATTR keyword paper-cut end-of-job\nATTR keyword cash-drawer both-after\nATTR keyword beeper start-of-job\n"
     "ATTR integer feed-after-page 3\n",
     "Cutting=2 CashDrawer=6 Beeper=4 FeedDist=3"},
    {"zorvan_lp40", "zorvan-lp40.ppd", 300, false, "", ""},
    {"zorvan_l40", "zorvan-l40.ppd", 203, false, "", ""},
    {"zorvan_l40", "zorvan-l40.ppd", 203, false,
     "ATTR integer darkness 15\nATTR integer speed 5\nATTR keyword print-mode sharp\n"
     "ATTR collection media-col { MEMBER keyword media-tracking \"gap\" }\n",
     "Darkness=15 PrintSpeed=5 PrintMode=0 MediaTracking=1"},
    {"zorvan_l50", "zorvan-l50.ppd", 300, false, "", ""},
    {"zorvan_l40a", "zorvan-l40a.ppd", 300, false, "", ""},
    {"zorvan_l40s", "zorvan-l40s.ppd", 203, false, "", ""},
    {"zorvan_l40s", "zorvan-l40s.ppd", 203, false,
     "ATTR keyword silent-mode on\nATTR keyword stencil-guide-line on\n", "SilentPrint=1 PositioningMode=1"},
    {"zorvan_l50a", "zorvan-l50a.ppd", 203, false, "", ""},
    {"zorvan_l40s_normal", "zorvan-l40s-normal.ppd", 203, false, "", ""},
    {"zorvan_l10", "zorvan-l10.ppd", 203, false, "", ""},
    {"zorvan_l20", "zorvan-l20.ppd", 203, false, "ATTR keyword processing photo-atkinson\n", "Processing=3"},
    {"zorvan_l40_bu", "zorvan-l40-bu.ppd", 203, false, "", ""},
    {"zorvan_l10_tattoo_xl", "zorvan-l10-tattoo-xl.ppd", 203, false, "", ""},
    {"zorvan_m10", "zorvan-m10.ppd", 203, false, "ATTR keyword photo-effect sketch\n", "PhotoEffect=5"},
    {"zorvan_l40s_tattoo_left", "zorvan-l40s-tattoo-left.ppd", 203, false, "", ""},
};

std::vector<uint8_t> filterOutput(const FamilyCase &c, const std::vector<RasterPage> &pages) {
    FilterRun run;
    run.ppdPath = std::string(ZV_BINARY_DIR) + "/ppd/" + c.ppd;
    run.options = c.filterOptions;
    run.input = makeRaster(pages);
    freezeClockEnvironment(&run.env);
    const FilterResult result = runFilter(run);
    EXPECT_EQ(result.status, 0) << result.err;
    return result.out;
}

std::vector<uint8_t> filterOutput(const FamilyCase &c, const RasterPage &page) {
    return filterOutput(c, std::vector<RasterPage>{page});
}

// One application for the whole table, as a person keeps one running and
// adds a printer for each printer they own.
class AppSuite : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        if (fakeTimeLibrary().empty()) return;
        dir_ = std::make_unique<TempDir>();
        app_ = std::make_unique<PrinterApp>(*dir_);
    }
    static void TearDownTestSuite() {
        app_.reset();
        dir_.reset();
    }
    static std::unique_ptr<TempDir> dir_;
    static std::unique_ptr<PrinterApp> app_;
    static int printers_;
};
std::unique_ptr<TempDir> AppSuite::dir_;
std::unique_ptr<PrinterApp> AppSuite::app_;
int AppSuite::printers_ = 0;

class EveryFamily : public AppSuite, public ::testing::WithParamInterface<FamilyCase> {};

TEST_P(EveryFamily, PrintsThePwgRasterAsTheFilterDoes) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    const FamilyCase &c = GetParam();
    const std::string name = "p" + std::to_string(++printers_);
    const std::string device = dir_->file(name + ".prn");
    ASSERT_TRUE(app_->addPrinter(name, c.driver, device));

    const RasterPage page = testPage(c.dpi, c.colour);
    const std::string pwg = dir_->file(name + ".pwg");
    makePwgRaster(c.colour ? asRgba(page) : page, pwg);
    ASSERT_TRUE(app_->print(name, pwg, "image/pwg-raster", c.ippAttributes)) << app_->logText();

    const std::vector<uint8_t> expected = filterOutput(c, page);
    ASSERT_FALSE(expected.empty());
    EXPECT_TRUE(BytesEqual(expected, readFileBytes(device)));
}

std::string caseName(const ::testing::TestParamInfo<FamilyCase> &info) {
    std::string name = info.param.driver;
    name += std::string(info.param.filterOptions).empty() ? "_defaults" : "_settings";
    return name + "_" + std::to_string(info.index);
}

INSTANTIATE_TEST_SUITE_P(PrinterApplication, EveryFamily, ::testing::ValuesIn(kFamilies), caseName);

// An 8-bit gray PNG of the page's pixels.
void writeGrayPng(const RasterPage &page, const std::string &path) {
    FILE *file = std::fopen(path.c_str(), "wb");
    ASSERT_NE(file, nullptr);
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png_create_info_struct(png);
    png_init_io(png, file);
    png_set_IHDR(png, info, page.width, page.height, 8, PNG_COLOR_TYPE_GRAY, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    png_write_info(png, info);
    RasterPage copy = page;
    for (unsigned y = 0; y < page.height; ++y) png_write_row(png, copy.row(y));
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    std::fclose(file);
}

// A picture straight from a phone's photo roll: PAPPL renders the PNG onto the
// label, and a picture of exactly the label's size at the printer's
// resolution, scaled to fit or fill ("none" would place it at the PNG's own
// resolution), reaches the encoder pixel for pixel, so the bytes are the
// filter's for the same pixels.
struct PngCase {
    const char *driver;
    const char *ppd;
    const char *media;
    unsigned dpi;
    const char *scaling;
};
const PngCase kPngCases[] = {
    {"zorvan_tspl_203", "zorvan-tspl-203.ppd", "oe_2x1-label_2x1in", 203, "fill"},
    {"zorvan_tspl_300", "zorvan-tspl-300.ppd", "oe_4x6-label_4x6in", 300, "auto"},
    {"zorvan_zpl_300", "zorvan-zpl-300.ppd", "oe_2x1-label_2x1in", 300, "auto"},
    {"zorvan_escpos_58", "zorvan-escpos-58.ppd", "om_58-roll-100_48x100mm", 203, "fill"},
    {"zorvan_l40", "zorvan-l40.ppd", "iso_a5_148x210mm", 203, "auto"},
};

class PngJob : public AppSuite, public ::testing::WithParamInterface<PngCase> {};

TEST_P(PngJob, PrintsAsTheFilterPrintsTheSamePixels) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    const PngCase &c = GetParam();
    const std::string name = "png" + std::to_string(++printers_);
    const std::string device = dir_->file(name + ".prn");
    ASSERT_TRUE(app_->addPrinter(name, c.driver, device));

    // The label's size in dots, as PAPPL computes it from the media size.
    pwg_media_t *media = pwgMediaForPWG(c.media);
    ASSERT_NE(media, nullptr);
    RasterPage page = testPage(c.dpi, false);
    const unsigned width = static_cast<unsigned>(media->width) * c.dpi / 2540;
    const unsigned height = static_cast<unsigned>(media->length) * c.dpi / 2540;
    RasterPage label = RasterPage::gray(width, height);
    label.dpi = c.dpi;
    for (unsigned y = 0; y < height; ++y)
        for (unsigned x = 0; x < width; ++x) label.row(y)[x] = page.row(y % page.height)[x % page.width];
    const std::string png = dir_->file(name + ".png");
    writeGrayPng(label, png);
    ASSERT_TRUE(app_->print(name, png, "image/png",
                            std::string("ATTR keyword media ") + c.media + "\nATTR keyword print-scaling " + c.scaling +
                                "\n"))
        << app_->logText();

    FilterRun run;
    run.ppdPath = std::string(ZV_BINARY_DIR) + "/ppd/" + c.ppd;
    run.input = makeRaster({label});
    freezeClockEnvironment(&run.env);
    const FilterResult result = runFilter(run);
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_TRUE(BytesEqual(result.out, readFileBytes(device)));
}

std::string pngCaseName(const ::testing::TestParamInfo<PngCase> &info) {
    return std::string(info.param.driver) + "_" + info.param.scaling;
}

// Defaults set once (in the web page or over IPP) hold for every job after
// a restart: the application saves them in its state file.
TEST_F(AppSuite, DefaultsSurviveARestart) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    const std::string name = "saved" + std::to_string(++printers_);
    const std::string device = dir_->file(name + ".prn");
    ASSERT_TRUE(app_->addPrinter(name, "zorvan_zpl_203", device));
    ASSERT_TRUE(app_->setDefaults(name,
                                  "ATTR integer darkness-default 22\nATTR keyword print-mode-default fine-dither\n"
                                  "ATTR integer horizontal-offset-default 24\n"));
    // The state is written as the server shuts down, which a loaded machine
    // (or the sanitizer build) may take longer than the usual grace for.
    app_->stop(60);
    app_->start();

    const RasterPage page = testPage(203, false);
    const std::string pwg = dir_->file(name + ".pwg");
    makePwgRaster(page, pwg);
    ASSERT_TRUE(app_->print(name, pwg, "image/pwg-raster")) << app_->logText();
    const FamilyCase c = {"zorvan_zpl_203", "zorvan-zpl-203.ppd", 203, false, "", "Darkness=22 PrintMode=4 Horizontal=24"};
    EXPECT_TRUE(BytesEqual(filterOutput(c, page), readFileBytes(device)));
}

// A pseudo-terminal stands in for the serial line or RFCOMM node: the
// application opens its other end as a zvserial device and everything it
// sends is read here.
class SerialLine {
  public:
    SerialLine() {
        master_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (master_ >= 0 && ::grantpt(master_) == 0 && ::unlockpt(master_) == 0) path_ = ::ptsname(master_);
        // Held open here too, so the line stays up between the application's
        // opening and closing it.
        if (!path_.empty()) slave_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY);
        termios line{};
        if (slave_ >= 0 && ::tcgetattr(slave_, &line) == 0) {
            ::cfmakeraw(&line);
            ::tcsetattr(slave_, TCSANOW, &line);
        }
        startReader();
    }
    void startReader() {
        reader_ = std::thread([this] {
            char buffer[4096];
            while (!stop_) {
                pollfd ready{master_, POLLIN, 0};
                if (::poll(&ready, 1, 100) <= 0) continue;
                const ssize_t n = ::read(master_, buffer, sizeof buffer);
                if (n <= 0) {
                    std::this_thread::sleep_for(std::chrono::milliseconds(5));
                    continue;
                }
                std::lock_guard<std::mutex> lock(mutex_);
                bytes_.insert(bytes_.end(), buffer, buffer + n);
                // A printer that answers: its reply to whatever it was sent.
                if (!reply_.empty() && ::write(master_, reply_.data(), reply_.size()) < 0) continue;
                // Or its reply to each request it knows, once per request.
                for (Answer &answer : answers_) {
                    auto at = bytes_.begin() + static_cast<long>(answer.from);
                    while ((at = std::search(at, bytes_.end(), answer.request.begin(), answer.request.end())) !=
                           bytes_.end()) {
                        if (!answer.reply.empty() && ::write(master_, answer.reply.data(), answer.reply.size()) < 0)
                            break;
                        at += static_cast<long>(answer.request.size());
                    }
                    if (bytes_.size() >= answer.request.size())
                        answer.from = bytes_.size() - answer.request.size() + 1;
                }
            }
        });
    }
    ~SerialLine() {
        stop_ = true;
        reader_.join();
        if (slave_ >= 0) ::close(slave_);
        if (master_ >= 0) ::close(master_);
    }
    const std::string &path() const { return path_; }
    void answerWith(const std::vector<uint8_t> &reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        reply_ = reply;
    }
    // Answers each later `request` (the whole frame) with `reply`; an empty
    // reply leaves the request unanswered.
    void answerTo(const std::vector<uint8_t> &request, const std::vector<uint8_t> &reply) {
        std::lock_guard<std::mutex> lock(mutex_);
        for (Answer &answer : answers_)
            if (answer.request == request) {
                answer.reply = reply;
                answer.from = bytes_.size();
                return;
            }
        answers_.push_back({request, reply, bytes_.size()});
    }
    // What has arrived once the line has been quiet for a moment.
    std::vector<uint8_t> received() {
        size_t last = static_cast<size_t>(-1);
        for (int i = 0; i < 100; ++i) {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            std::lock_guard<std::mutex> lock(mutex_);
            if (bytes_.size() == last) break;
            last = bytes_.size();
        }
        std::lock_guard<std::mutex> lock(mutex_);
        return bytes_;
    }

  private:
    int master_ = -1;
    int slave_ = -1;
    std::string path_;
    std::thread reader_;
    std::atomic<bool> stop_{false};
    std::mutex mutex_;
    std::vector<uint8_t> bytes_;
    std::vector<uint8_t> reply_;
    struct Answer {
        std::vector<uint8_t> request;
        std::vector<uint8_t> reply;
        size_t from;  // where in bytes_ an unanswered request may start
    };
    std::vector<Answer> answers_;
};

// A query of group 1 as the application sends it to a printer of a long-head
// ODM printer type, laid out byte by byte: head, ODM type, plain, body length
// 5; the command head (attributes 0x11, group, command, no payload); the
// CRC-32 of the body.
std::vector<uint8_t> queryFrame(uint8_t odm, uint8_t command) {
    const std::vector<uint8_t> body{0x11, 1, command, 0, 0};
    std::vector<uint8_t> frame{0xA3, 0x1E, odm, 0x00, 5, 0};
    frame.insert(frame.end(), body.begin(), body.end());
    appendLe32(frame, static_cast<uint32_t>(crc32(odm == 31 ? 0x76983521u : 0x76953521u, body.data(),
                                                  static_cast<uInt>(body.size()))));
    return frame;
}

// The bytes with every whole copy of the given frames taken out; `positions`
// gets where each one stood in what is left.
std::vector<uint8_t> withoutFrames(const std::vector<uint8_t> &bytes, const std::vector<std::vector<uint8_t>> &frames,
                                   std::vector<size_t> *positions) {
    std::vector<uint8_t> left;
    for (size_t i = 0; i < bytes.size();) {
        const auto match = std::find_if(frames.begin(), frames.end(), [&](const std::vector<uint8_t> &frame) {
            return bytes.size() - i >= frame.size() && std::equal(frame.begin(), frame.end(), bytes.begin() + i);
        });
        if (match == frames.end()) {
            left.push_back(bytes[i++]);
            continue;
        }
        positions->push_back(left.size());
        i += match->size();
    }
    return left;
}

// A Bluetooth protocol printer on a serial node: the bytes are the filter's
// with BluetoothPrint in the PPD (the interface setting on every page).
TEST_F(AppSuite, SerialAndBluetoothPrintersGetTheFiltersBytes) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    struct SerialCase {
        const char *driver;
        const char *ppd;
        const char *uriOptions;
        bool bluetooth;
    };
    const SerialCase cases[] = {
        {"zorvan_tspl_203", "zorvan-tspl-203.ppd", "?baud=9600", false},
        {"zorvan_l40", "zorvan-l40.ppd", "?baud=115200", false},
        {"zorvan_l40", "zorvan-l40.ppd", "?baud=115200&bluetooth=1", true},
    };
    for (const SerialCase &c : cases) {
        SCOPED_TRACE(std::string(c.driver) + c.uriOptions);
        SerialLine line;
        ASSERT_FALSE(line.path().empty());
        const std::string name = "serial" + std::to_string(++printers_);
        ASSERT_TRUE(app_->addPrinterAt(name, c.driver, "zvserial://" + line.path() + c.uriOptions));
        const RasterPage page = testPage(203, false);
        const std::string pwg = dir_->file(name + ".pwg");
        makePwgRaster(page, pwg);
        ASSERT_TRUE(app_->print(name, pwg, "image/pwg-raster")) << app_->logText();

        FilterRun run;
        std::string ppd = readFileText(std::string(ZV_BINARY_DIR) + "/ppd/" + c.ppd);
        if (c.bluetooth) ppd += "*ZVAttr BluetoothPrint: \"1\"\n";
        run.ppdPath = dir_->file(name + ".ppd");
        writeFileText(run.ppdPath, ppd);
        run.input = makeRaster({page});
        freezeClockEnvironment(&run.env);
        const FilterResult result = runFilter(run);
        ASSERT_EQ(result.status, 0) << result.err;
        // A protocol printer is asked for its status after the page (it does
        // not answer here); apart from that query the bytes are the filter's.
        std::vector<size_t> queries;
        EXPECT_TRUE(BytesEqual(result.out, withoutFrames(line.received(), {queryFrame(28, 19)}, &queries)));
        EXPECT_EQ(queries.size(), std::string(c.driver) == "zorvan_l40" ? 1u : 0u);
    }
}

// A job cancelled while the printer is busy with one of its pages: that page
// is sent whole, no page after it, and the printer is left after a complete
// command, as the filter leaves it when CUPS cancels.
TEST_F(AppSuite, CancelledJobLeavesWholePages) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    SerialLine line;
    ASSERT_FALSE(line.path().empty());
    const std::string name = "cancel" + std::to_string(++printers_);
    ASSERT_TRUE(app_->addPrinterAt(name, "zorvan_tspl_203", "zvserial://" + line.path()));

    // A hundred 4 x 6 in photo labels through the image pipeline, which takes a
    // while for each: the cancel arrives while a page is being printed.
    RasterPage label = RasterPage::gray(812, 1218);
    for (unsigned y = 0; y < label.height; ++y)
        for (unsigned x = 0; x < label.width; ++x) label.row(y)[x] = static_cast<uint8_t>(x * 255 / label.width);
    label.fillRect(40, 40, 700, 300, 0);
    const std::vector<RasterPage> pages(100, label);
    FilterRun run;
    run.ppdPath = std::string(ZV_BINARY_DIR) + "/ppd/zorvan-tspl-203.ppd";
    run.options = "PrintMode=7";
    run.input = makeRaster({label});
    freezeClockEnvironment(&run.env);
    const FilterResult one = runFilter(run);
    ASSERT_EQ(one.status, 0) << one.err;
    ASSERT_FALSE(one.out.empty());
    // The whole job as the filter prints it: the dithering goes on from page
    // to page, so each page has bytes of its own.
    run.input = makeRaster(pages);
    const FilterResult all = runFilter(run);
    ASSERT_EQ(all.status, 0) << all.err;
    ASSERT_EQ(all.out.size(), one.out.size() * pages.size());

    std::vector<uint8_t> raster;
    {
        // PWG raster of the ten pages.
        const std::string path = dir_->file(name + ".pwg");
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        cups_raster_t *out = cupsRasterOpen(fd, CUPS_RASTER_WRITE_PWG);
        cups_page_header2_t header;
        cupsRasterInitPWGHeader(&header, pwgMediaForPWG("oe_4x6-label_4x6in"), "sgray_8", 203, 203, "one-sided",
                                nullptr);
        for (const RasterPage &page : pages) {
            header.cupsWidth = page.width;
            header.cupsHeight = page.height;
            header.cupsBytesPerLine = page.width;
            cupsRasterWriteHeader2(out, &header);
            RasterPage copy = page;
            for (unsigned y = 0; y < page.height; ++y) cupsRasterWritePixels(out, copy.row(y), page.width);
        }
        cupsRasterClose(out);
        ::close(fd);
    }

    // One client prints; another cancels while the pages are being printed
    // (PAPPL answers Print-Job only once the job has ended).
    std::thread printing([this, &name] {
        app_->ipptool(app_->printerUri(name), R"({
  NAME "Print the labels"
  OPERATION Print-Job
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name tester
  ATTR mimeMediaType document-format image/pwg-raster
  GROUP job-attributes-tag
  ATTR keyword print-mode photo-processed
  FILE )" + dir_->file(name + ".pwg") + R"(
}
)");
    });
    const CommandResult r = app_->ipptool(app_->printerUri(name), R"({
  NAME "Cancel while the labels print"
  OPERATION Cancel-My-Jobs
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR name requesting-user-name tester
  DELAY 0.6
  STATUS successful-ok
}
{
  NAME "The job ends cancelled"
  OPERATION Get-Jobs
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword which-jobs completed
  ATTR keyword requested-attributes job-state
  DELAY 0.5
  STATUS successful-ok
  EXPECT job-state WITH-VALUE 7 REPEAT-NO-MATCH REPEAT-LIMIT 100
}
)");
    printing.join();
    EXPECT_EQ(r.status, 0) << r.output << app_->logText();

    const std::vector<uint8_t> received = line.received();
    const size_t pageBytes = one.out.size();
    ASSERT_GT(received.size(), 0u) << "the page in progress is finished";
    EXPECT_EQ(received.size() % pageBytes, 0u) << received.size() << " bytes are not whole pages of " << pageBytes;
    EXPECT_LT(received.size() / pageBytes, pages.size()) << "pages after the cancel were sent";
    EXPECT_TRUE(BytesEqual(std::vector<uint8_t>(all.out.begin(), all.out.begin() + received.size()), received))
        << "the pages sent are the job's first pages";
}

// A few hundred small jobs from several clients at once on three printers:
// every job ends completed, the server's memory stays flat once it has
// warmed up, and every printer still prints the filter's bytes afterwards.
TEST_F(AppSuite, SoakManyClientsManyJobs) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    const FamilyCase printers[] = {
        {"zorvan_tspl_203", "zorvan-tspl-203.ppd", 203, false, "", ""},
        {"zorvan_escpos_58", "zorvan-escpos-58.ppd", 203, false, "", ""},
        {"zorvan_l40", "zorvan-l40.ppd", 203, false, "", ""},
    };
    RasterPage page = RasterPage::gray(384, 120);
    page.fillRect(10, 10, 200, 50, 0);
    page.fillRect(250, 30, 100, 80, 128);
    const std::string pwg = dir_->file("soak.pwg");
    makePwgRaster(page, pwg);
    std::vector<std::string> names;
    for (const FamilyCase &c : printers) {
        names.push_back("soak" + std::to_string(++printers_));
        ASSERT_TRUE(app_->addPrinter(names.back(), c.driver, dir_->file(names.back() + ".prn")));
    }
    const std::string test = dir_->file("soak.test");
    writeFileText(test, PrinterApp::printAndWaitTest(pwg, "image/pwg-raster"));

    // Two clients per printer, each printing its jobs one after another.
    const auto round = [&](int jobsPerClient) {
        std::vector<std::thread> clients;
        std::atomic<int> failures{0};
        for (int client = 0; client < 6; ++client)
            clients.emplace_back([&, client] {
                for (int job = 0; job < jobsPerClient; ++job) {
                    // PAPPL prints a job while it receives it and turns a
                    // second one away busy meanwhile; clients send it again
                    // a moment later, as IPP clients do.
                    CommandResult r;
                    for (int attempt = 0; attempt < 400; ++attempt) {
                        r = checkedIpptool(
                            runCommand("ipptool -t " + app_->printerUri(names[client % names.size()]) + " " + test));
                        if (r.status == 0 || r.output.find("server-error-busy") == std::string::npos) break;
                        std::this_thread::sleep_for(std::chrono::milliseconds(50));
                    }
                    if (r.status != 0) {
                        ++failures;
                        ADD_FAILURE() << r.output;
                    }
                }
            });
        for (std::thread &client : clients) client.join();
        return failures.load();
    };
    ASSERT_EQ(round(10), 0);  // warm-up: 60 jobs, 20 per printer
    const long warm = app_->residentKiB();
    ASSERT_EQ(round(40), 0);  // 240 jobs, 80 per printer
    const long after = app_->residentKiB();
    std::printf("soak: resident memory %ld KiB after 60 jobs, %ld KiB after 300\n", warm, after);
    // A file device keeps every job: each printer holds its 100 jobs of
    // the soak and one more, each the filter's bytes for the page.
    for (size_t i = 0; i < names.size(); ++i) {
        ASSERT_TRUE(app_->print(names[i], pwg, "image/pwg-raster"));
        const std::vector<uint8_t> one = filterOutput(printers[i], page);
        std::vector<uint8_t> expected;
        for (int job = 0; job < 101; ++job) expected.insert(expected.end(), one.begin(), one.end());
        EXPECT_TRUE(BytesEqual(expected, readFileBytes(dir_->file(names[i] + ".prn")))) << names[i];
    }
}

// A protocol printer that answers the status query with its status word and
// the battery query with its charge: lid open and out of paper become the
// printer's state reasons, the charge the level of the supply "Battery".
// The printer is asked between a job's pages too, and the job's bytes stay
// the filter's.
TEST_F(AppSuite, ProtocolPrinterStatusBecomesStateReasons) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    SerialLine line;
    ASSERT_FALSE(line.path().empty());
    const std::vector<uint8_t> stateQuery = queryFrame(28, 19);
    const std::vector<uint8_t> batteryQuery = queryFrame(28, 14);
    // printStatus (tag 1) 3: bits 0 and 1.
    line.answerTo(stateQuery, replyFrame(28, 0x21, 1, 19, tlvItem(1, {3, 0, 0, 0})));
    // batteryVoltage (tag 1) 4.12 V, batteryPercent (tag 2) 873 tenths: 87.3 %.
    const auto batteryReply = [](uint16_t tenths) {
        std::vector<uint8_t> payload = tlvItem(1, {0x9C, 0x01});
        const std::vector<uint8_t> percent =
            tlvItem(2, {static_cast<uint8_t>(tenths), static_cast<uint8_t>(tenths >> 8)});
        payload.insert(payload.end(), percent.begin(), percent.end());
        return replyFrame(28, 0x21, 1, 14, payload);
    };
    line.answerTo(batteryQuery, batteryReply(873));
    const std::string name = "status" + std::to_string(++printers_);
    ASSERT_TRUE(app_->addPrinterAt(name, "zorvan_l40", "zvserial://" + line.path()));
    const std::string query = R"({
  NAME "Printer state"
  OPERATION Get-Printer-Attributes
  GROUP operation-attributes-tag
  ATTR charset attributes-charset utf-8
  ATTR naturalLanguage attributes-natural-language en
  ATTR uri printer-uri $uri
  ATTR keyword requested-attributes printer-state-reasons,printer-supply,marker-levels,marker-names
  STATUS successful-ok
}
)";
    const auto printerState = [&](const std::string &printer) {
        const std::string file = dir_->file("state.test");
        writeFileText(file, query);
        return runCommand("ipptool -tv " + app_->printerUri(printer) + " " + file).output;
    };
    std::string reasons;
    for (int i = 0; i < 30 && (reasons.find("media-empty") == std::string::npos ||
                               reasons.find("marker-levels (integer)") == std::string::npos);
         ++i) {
        reasons = printerState(name);
        std::this_thread::sleep_for(std::chrono::milliseconds(200));
    }
    EXPECT_NE(reasons.find("cover-open"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("media-empty"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("marker-names (nameWithoutLanguage) = Battery"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("marker-levels (integer) = 87"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("level=87;"), std::string::npos) << reasons;

    // The battery runs down while two pages print. The printer is asked
    // between them, and without the queries the bytes are the filter's.
    line.answerTo(batteryQuery, batteryReply(552));
    const RasterPage twoPages[] = {testPage(203, false), testPage(203, false)};
    const std::vector<RasterPage> pages(std::begin(twoPages), std::end(twoPages));
    const std::string job = dir_->file(name + ".pwg");
    makePwgRaster(pages, job);
    ASSERT_TRUE(app_->print(name, job, "image/pwg-raster")) << app_->logText();
    const FamilyCase l40 = {"zorvan_l40", "zorvan-l40.ppd", 203, false, "", ""};
    const std::vector<uint8_t> expectedJob = filterOutput(l40, pages);
    std::vector<size_t> queries;
    EXPECT_TRUE(BytesEqual(expectedJob, withoutFrames(line.received(), {stateQuery, batteryQuery}, &queries)));
    EXPECT_TRUE(std::any_of(queries.begin(), queries.end(),
                            [&](size_t at) { return at > 0 && at < expectedJob.size(); }))
        << "no query between the job's pages";
    reasons = printerState(name);
    EXPECT_NE(reasons.find("marker-levels (integer) = 55"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("level=55;"), std::string::npos) << reasons;

    // A battery query left unanswered keeps the level the printer last gave.
    line.answerTo(batteryQuery, {});
    ASSERT_TRUE(app_->print(name, job, "image/pwg-raster")) << app_->logText();
    reasons = printerState(name);
    EXPECT_NE(reasons.find("marker-levels (integer) = 55"), std::string::npos) << reasons;
    EXPECT_NE(reasons.find("media-empty"), std::string::npos) << reasons;

    // One that does not answer keeps its state and prints as before: after
    // the status query, the job's bytes are the filter's.
    SerialLine silent;
    const std::string quiet = "status" + std::to_string(++printers_);
    ASSERT_TRUE(app_->addPrinterAt(quiet, "zorvan_l40", "zvserial://" + silent.path()));
    writeFileText(dir_->file("state.test"), query);
    reasons = runCommand("ipptool -tv " + app_->printerUri(quiet) + " " + dir_->file("state.test")).output;
    EXPECT_NE(reasons.find("printer-state-reasons (keyword) = none"), std::string::npos) << reasons;
    EXPECT_EQ(reasons.find("marker-levels (integer)"), std::string::npos) << reasons;
    const RasterPage page = testPage(203, false);
    const std::string pwg = dir_->file(quiet + ".pwg");
    makePwgRaster(page, pwg);
    ASSERT_TRUE(app_->print(quiet, pwg, "image/pwg-raster"));
    const FamilyCase c = {"zorvan_l40", "zorvan-l40.ppd", 203, false, "", ""};
    const std::vector<uint8_t> expected = filterOutput(c, page);
    const std::vector<uint8_t> received = silent.received();
    ASSERT_GE(received.size(), expected.size());
    EXPECT_TRUE(BytesEqual(expected, std::vector<uint8_t>(received.end() - static_cast<long>(expected.size()),
                                                          received.end())));
}

// A printer whose device is gone (a Bluetooth node that disappeared) holds up
// none of the others: their jobs print, byte for byte, while its job waits.
TEST_F(AppSuite, APrinterWithoutItsDeviceHoldsUpNoOther) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    const std::string gone = "gone" + std::to_string(++printers_);
    ASSERT_TRUE(app_->addPrinterAt(gone, "zorvan_l40", "zvserial:///dev/zvtest-no-such-node?baud=115200"));
    const std::string good = "good" + std::to_string(++printers_);
    ASSERT_TRUE(app_->addPrinter(good, "zorvan_tspl_203", dir_->file(good + ".prn")));
    const RasterPage page = testPage(203, false);
    const std::string pwg = dir_->file(good + ".pwg");
    makePwgRaster(page, pwg);

    // The job for the missing device, from a client of its own.
    const std::string test = dir_->file("gone.test");
    writeFileText(test, PrinterApp::printAndWaitTest(pwg, "image/pwg-raster"));
    std::thread stuck([&] { runCommand("timeout -s KILL 3 ipptool -t " + app_->printerUri(gone) + " " + test); });
    std::this_thread::sleep_for(std::chrono::milliseconds(500));

    const auto started = std::chrono::steady_clock::now();
    ASSERT_TRUE(app_->print(good, pwg, "image/pwg-raster")) << app_->logText();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));
    const FamilyCase c = {"zorvan_tspl_203", "zorvan-tspl-203.ppd", 203, false, "", ""};
    EXPECT_TRUE(BytesEqual(filterOutput(c, page), readFileBytes(dir_->file(good + ".prn"))));
    stuck.join();
    EXPECT_NE(app_->logText().find("zvtest-no-such-node"), std::string::npos) << "the failed open is logged";
}

// Headless Chromium on the printer's "Printing Defaults" page: the form shows
// the family's own settings under their names (and not another family's),
// and the page renders (a screenshot with the form on it).
TEST_F(AppSuite, WebPageShowsTheFamilysSettings) {
    if (app_ == nullptr) GTEST_SKIP() << "libfaketime (package faketime) is not installed";
    if (runCommand("command -v chromium").status != 0) GTEST_SKIP() << "chromium is not installed";
    struct PageCase {
        const char *driver;
        std::vector<std::string> shown;
        std::vector<std::string> absent;
    };
    const PageCase cases[] = {
        {"zorvan_zpl_203",
         {"Darkness:", "Print speed:", "Print mode:", "Text (threshold 128)", "Compression:", "Horizontal offset (dots):"},
         {"Cash drawer:", "Silent printing:"}},
        {"zorvan_escpos_80",
         {"Paper cut:", "After every page", "Cash drawer:", "Open both drawers after printing", "Beeper:",
          "Solid black rows:", "Feed after each page (3 mm steps):"},
         {"Darkness:", "Compression:"}},
        {"zorvan_l40s",
         {"Darkness:", "Silent printing:", "Stencil guide line:", "Tattoo stencil", "Photo effect:", "Sketch",
          "Processing:"},
         {"Compression:", "Print speed:", "Paper cut:"}},
    };
    const std::string profile = dir_->file("chromium-profile");
    const std::string chromium = "chromium --headless --no-sandbox --disable-gpu --user-data-dir=" + profile;
    for (const PageCase &c : cases) {
        SCOPED_TRACE(c.driver);
        const std::string name = "web" + std::to_string(++printers_);
        ASSERT_TRUE(app_->addPrinter(name, c.driver, dir_->file(name + ".prn")));
        const std::string url = app_->webUri(name + "/printing");
        const std::string dom = runCommand(chromium + " --dump-dom " + url + " 2>/dev/null").output;
        for (const std::string &label : c.shown) EXPECT_NE(dom.find(label), std::string::npos) << label;
        for (const std::string &label : c.absent) EXPECT_EQ(dom.find(label), std::string::npos) << label;

        const std::string shot = dir_->file(name + ".png");
        runCommand(chromium + " --window-size=1000,1300 --screenshot=" + shot + " " + url);
        FILE *file = std::fopen(shot.c_str(), "rb");
        ASSERT_NE(file, nullptr) << "no screenshot";
        png_image image{};
        image.version = PNG_IMAGE_VERSION;
        ASSERT_TRUE(png_image_begin_read_from_stdio(&image, file));
        image.format = PNG_FORMAT_GRAY;
        std::vector<uint8_t> pixels(PNG_IMAGE_SIZE(image));
        ASSERT_TRUE(png_image_finish_read(&image, nullptr, pixels.data(), 0, nullptr));
        std::fclose(file);
        EXPECT_EQ(image.width, 1000u);
        EXPECT_EQ(image.height, 1300u);
        // The form's text and controls: a good share of the page is not white.
        const size_t inked = static_cast<size_t>(std::count_if(pixels.begin(), pixels.end(), [](uint8_t v) { return v < 128; }));
        EXPECT_GT(inked, pixels.size() / 100) << "the screenshot is nearly blank";
    }
}

INSTANTIATE_TEST_SUITE_P(PrinterApplication, PngJob, ::testing::ValuesIn(kPngCases), pngCaseName);
}  // namespace
}  // namespace zvtest
