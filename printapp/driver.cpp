#include "printapp/driver.h"

#include <cjson/cJSON.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>
#include <string>
#include <utility>
#include <vector>

#include "core/debug_log.h"
#include "core/dynamic_array.h"
#include "page/page_encode.h"
#include "page/settings_table.h"
#include "printapp/families.h"
#include "printapp/serial_device.h"
#include "protocol/device_commands.h"
#include "protocol/packet.h"
#include "protocol/protocol_state.h"
#include "protocol/replies.h"
#include "imaging/simple_rand.h"
#include "protocol_print/printer_dots.h"
#include "protocol_print/protocol_print.h"
#include "protocol_print/single_color.h"

namespace zvapp {
namespace {

// The encoders keep the printer selection (device type, ODM printer type,
// package size, threshold) and the diagnostic files in process-wide state,
// as a filter process that serves one job can. Printers of this application
// print at the same time on their own threads, so every step that sets or
// reads that state holds this lock: the job's settings, each page's
// encoding, the prologue and epilogue. Writing to the device happens outside
// it, so a slow or stuck printer holds up no other.
std::mutex gPageCodeMutex;

// When a raster callback last ran, for jobsRecentlyActive().
std::atomic<int64_t> gLastActivity{0};

int64_t nowMilliseconds() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

void noteActivity() { gLastActivity.store(nowMilliseconds(), std::memory_order_relaxed); }

// The largest page buffer a job may ask for, as in the filter: a raster
// header can describe any size, and labels never need more.
constexpr uint64_t kMaxPageBytes = 256ull * 1024 * 1024;

// A page's geometry in the page buffer, as the filter's page loop lays it out:
// whole bytes of packed pixels per row, padded white on the right.
struct PageGeometry {
    unsigned colorSpace = 0;
    int bytesPerPixel = 1;
    uint64_t bytesPerLine = 0;
    uint64_t rows = 0;
    uint64_t pitch = 0;
};

int bytesPerPixelFor(unsigned colorSpace) {
    switch (colorSpace) {
        case CUPS_CSPACE_RGB:
        case CUPS_CSPACE_SRGB:
        case CUPS_CSPACE_ADOBERGB:
            return 3;
        case CUPS_CSPACE_RGBA:
            return 4;
        default:
            return 1;
    }
}

struct JobState {
    const Family *family = nullptr;
    PrinterSettings job{};       // the settings as the job chose them
    PrinterSettings settings{};  // what the pages change (print mode, sizes, offsets)
    zvsettings::OffsetWarnings offsetWarnings;
    PageGeometry geometry;
    long pictureWidth = 0;
    std::vector<unsigned char> page;
    unsigned pagesSent = 0;
    // The job's share of the process-wide state that carries from page to
    // page in the filter's process: the dithering generator and the plain
    // route's threshold, as a new process has them.
    uint32_t randState = 1;
    uint32_t singleColorRandState = 1;
    uint8_t threshold = 142;
};

JobState *stateOf(pappl_job_t *job) { return static_cast<JobState *>(papplJobGetData(job)); }

const Family *familyOf(pappl_job_t *job) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(papplJobGetPrinter(job), &data);
    return static_cast<const Family *>(data.extension);
}

int trackingNumber(pappl_media_tracking_t tracking) {
    switch (tracking) {
        case PAPPL_MEDIA_TRACKING_CONTINUOUS:
            return 0;
        case PAPPL_MEDIA_TRACKING_GAP:
            return 1;
        case PAPPL_MEDIA_TRACKING_MARK:
            return 2;
        default:
            return -1;
    }
}

bool writeToDevice(pappl_job_t *job, pappl_device_t *device, const dynamic_array *array) {
    if (array == nullptr || array->data == nullptr || array->size == 0) return true;
    if (papplDeviceWrite(device, array->data, static_cast<size_t>(array->size)) < 0) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to write %llu bytes to the printer.",
                    static_cast<unsigned long long>(array->size));
        return false;
    }
    papplDeviceFlush(device);
    return true;
}

// Puts the process-wide state where the job left it, or where a new filter
// process has it for a new job: the printer selection, the protocol state,
// the generator and the threshold. Other printers' jobs run between two pages
// of this one. The caller holds gPageCodeMutex.
void selectPrinter(const JobState &state) {
    setDeviceType(state.family->deviceType);
    setPpdOdmType(static_cast<uint8_t>(state.family->odmType != 0 ? state.family->odmType : kDefaultOdmType));
    resetProtocolState();
    setODMType(getPpdOdmType());
    setSimpleRandState(state.randState);
    setSingleColorRandState(state.singleColorRandState);
    setThreshold(state.threshold);
}

// Keeps what the page changed of that state for the job's next page.
void keepJobState(JobState *state) {
    state->randState = getSimpleRandState();
    state->singleColorRandState = getSingleColorRandState();
    state->threshold = getImgThresholdValue();
}

// The printer's state reasons that the protocol printers' status word can
// set, by its bits: lid open, out of paper, paper jam; overheating, no print
// head, voltage too high or too low, cutter and memory errors become "other".
constexpr pappl_preason_t kStatusReasons = PAPPL_PREASON_COVER_OPEN | PAPPL_PREASON_MEDIA_EMPTY |
                                           PAPPL_PREASON_MEDIA_JAM | PAPPL_PREASON_OTHER;

pappl_preason_t reasonsForStatus(uint32_t status) {
    pappl_preason_t reasons = PAPPL_PREASON_NONE;
    if (status & (1u << 0)) reasons |= PAPPL_PREASON_COVER_OPEN;
    if (status & (1u << 1)) reasons |= PAPPL_PREASON_MEDIA_EMPTY;
    if (status & (1u << 2)) reasons |= PAPPL_PREASON_MEDIA_JAM;
    constexpr uint32_t kOther = (1u << 3) | (1u << 4) | (1u << 5) | (1u << 6) | (1u << 8) | (1u << 9) | (1u << 10);
    if (status & kOther) reasons |= PAPPL_PREASON_OTHER;
    return reasons;
}

// When each protocol printer is asked next, and what it last said.
struct StatusPoll {
    std::chrono::steady_clock::time_point next{};
    bool silent = false;  // the last status query went unanswered
    std::chrono::steady_clock::time_point nextBattery{};
    int batteryLevel = -1;  // the level last reported, -1 for none
};

std::mutex gStatusMutex;
std::map<const pappl_printer_t *, StatusPoll> gStatusPolls;

// Sends one query of group 1 and waits a moment for its reply: the reply's
// JSON text, or "" when none came.
std::string askProtocolPrinter(const Family &family, pappl_device_t *device, SendPack (*build)(), uint8_t command) {
    SendPack request{};
    {
        std::lock_guard<std::mutex> lock(gPageCodeMutex);
        setODMType(static_cast<uint8_t>(family.odmType != 0 ? family.odmType : kDefaultOdmType));
        request = build();
    }
    if (isEmptyProtocolPack(request)) return "";
    const ssize_t written = papplDeviceWrite(device, request.data, static_cast<size_t>(request.length));
    freeSendPack(request);
    if (written < 0) return "";
    papplDeviceFlush(device);

    ReplyDecoder decoder;
    unsigned char buffer[512];
    for (int attempt = 0; attempt < 2; ++attempt) {
        const ssize_t got = papplDeviceRead(device, buffer, sizeof buffer);
        if (got <= 0) continue;
        // The decoder reads the ODM printer type of the protocol state.
        std::lock_guard<std::mutex> lock(gPageCodeMutex);
        setODMType(static_cast<uint8_t>(family.odmType != 0 ? family.odmType : kDefaultOdmType));
        for (ssize_t i = 0; i < got; ++i) {
            ReceivePack pack = decoder.receive(buffer[i]);
            const bool wanted = pack.resultCode == kReplyUnderstood && pack.group == 1 && pack.command == command;
            std::string json = wanted && pack.json != nullptr ? pack.json : "";
            freeReceivePack(pack);
            if (wanted) return json;
        }
    }
    return "";
}

// One value of a reply's JSON text as a number; false when it is missing.
bool replyNumber(const std::string &json, const char *key, double *value) {
    std::unique_ptr<cJSON, void (*)(cJSON *)> root(cJSON_Parse(json.c_str()), cJSON_Delete);
    const cJSON *item = root ? cJSON_GetObjectItemCaseSensitive(root.get(), key) : nullptr;
    if (item == nullptr) return false;
    if (cJSON_IsString(item)) {
        char *end = nullptr;
        *value = std::strtod(item->valuestring, &end);
        return end != item->valuestring;
    }
    if (!cJSON_IsNumber(item)) return false;
    *value = cJSON_GetNumberValue(item);
    return true;
}

// Asks a protocol printer for its status word (1/19) and, when it answers,
// its battery (1/14): the status bits become the printer's state reasons and
// the battery's percentage the supply "Battery". A printer that does not
// answer keeps its reasons and supply. A printer is asked at most every two
// seconds while idle; between a job's pages after every page. One that did
// not answer is asked again only after half a minute, so a silent printer
// slows neither the requests for its attributes nor its jobs; the same holds
// for a printer that answers the status but not the battery query.
void pollProtocolPrinter(pappl_printer_t *printer, const Family &family, pappl_device_t *device, bool betweenPages) {
    const auto now = std::chrono::steady_clock::now();
    bool askBattery = false;
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        const StatusPoll &poll = gStatusPolls[printer];
        if (now < poll.next && (!betweenPages || poll.silent)) return;
        askBattery = now >= poll.nextBattery;
    }
    double status = 0;
    const bool answered =
        replyNumber(askProtocolPrinter(family, device, getPrinterInfoStateData, 19), "printStatus", &status);
    double percent = 0;
    const bool batteryAnswered =
        answered && askBattery &&
        replyNumber(askProtocolPrinter(family, device, getPrinterInfoBatteryData, 14), "batteryPercent", &percent);
    const int level = static_cast<int>(std::lround(std::clamp(percent, 0.0, 100.0)));
    bool newLevel = false;
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        StatusPoll &poll = gStatusPolls[printer];
        poll.silent = !answered;
        poll.next = now + (answered ? std::chrono::seconds(2) : std::chrono::seconds(30));
        if (answered && askBattery && !batteryAnswered) poll.nextBattery = now + std::chrono::seconds(30);
        if (batteryAnswered && level != poll.batteryLevel) {
            poll.batteryLevel = level;
            newLevel = true;
        }
    }
    if (answered) {
        const pappl_preason_t reasons = reasonsForStatus(static_cast<uint32_t>(status));
        papplPrinterSetReasons(printer, reasons, kStatusReasons & ~reasons);
    }
    if (newLevel) {
        pappl_supply_t battery{};
        battery.color = PAPPL_SUPPLY_COLOR_NO_COLOR;
        std::snprintf(battery.description, sizeof battery.description, "Battery");
        battery.is_consumed = true;
        battery.level = level;
        battery.type = PAPPL_SUPPLY_TYPE_OTHER;
        papplPrinterSetSupplies(printer, 1, &battery);
    }
}

// Whether a printer is a protocol printer on the serial and Bluetooth scheme,
// whose reads wait a bounded time; PAPPL's socket and USB reads are not known
// to, so printers on them are not asked.
bool answersOverItsDevice(pappl_printer_t *printer, const Family *family) {
    if (family == nullptr || !isZVProtocolPrinter(family->deviceType)) return false;
    const char *uri = papplPrinterGetDeviceURI(printer);
    return uri != nullptr && std::strncmp(uri, "zvserial:", 9) == 0;
}

// Status of a protocol printer while it is idle. Clients ask for the
// printer's attributes often; pollProtocolPrinter keeps that cheap.
bool statusCallback(pappl_printer_t *printer) {
    pappl_pr_driver_data_t data;
    papplPrinterGetDriverData(printer, &data);
    const auto *family = static_cast<const Family *>(data.extension);
    if (!answersOverItsDevice(printer, family)) return true;
    {
        std::lock_guard<std::mutex> lock(gStatusMutex);
        auto poll = gStatusPolls.find(printer);
        if (poll != gStatusPolls.end() && std::chrono::steady_clock::now() < poll->second.next) return true;
    }
    pappl_device_t *device = papplPrinterOpenDevice(printer);
    if (device == nullptr) return true;  // printing: the job's pages go first
    pollProtocolPrinter(printer, *family, device, false);
    papplPrinterCloseDevice(printer);
    return true;
}

struct IppDeleter {
    void operator()(ipp_t *ipp) const { ippDelete(ipp); }
};

// PAPPL hands the driver only the settings the job itself names; the others
// come from the printer's defaults, as the web page or Set-Printer-Attributes
// left them (and the state file keeps them).
void addPrinterDefaults(pappl_job_t *job, const Family &family, std::vector<std::pair<std::string, std::string>> *values) {
    std::unique_ptr<ipp_t, IppDeleter> attrs(papplPrinterGetDriverAttributes(papplJobGetPrinter(job)));
    if (attrs == nullptr) return;
    for (const SettingSpec &spec : family.settings) {
        const std::string name(spec.name);
        const bool named = std::any_of(values->begin(), values->end(),
                                       [&name](const auto &value) { return value.first == name; });
        if (named) continue;
        ipp_attribute_t *attr = ippFindAttribute(attrs.get(), (name + "-default").c_str(), IPP_TAG_ZERO);
        if (attr == nullptr) continue;
        char text[256];
        ippAttributeString(attr, text, sizeof text);
        values->emplace_back(name, text);
    }
}

bool startJob(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *device) {
    noteActivity();
    auto state = std::make_unique<JobState>();
    state->family = familyOf(job);
    if (state->family == nullptr) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "The printer has no Zorvan driver.");
        return false;
    }
    std::vector<std::pair<std::string, std::string>> values;
    for (int i = 0; i < options->num_vendor; ++i) values.emplace_back(options->vendor[i].name, options->vendor[i].value);
    addPrinterDefaults(job, *state->family, &values);

    DynamicArrayPtr prologue;
    {
        std::lock_guard<std::mutex> lock(gPageCodeMutex);
        state->job = jobSettings(*state->family, values, trackingNumber(options->media.tracking));
        state->job.jobId = papplJobGetID(job);
        if (const char *uri = papplPrinterGetDeviceURI(papplJobGetPrinter(job)); uri != nullptr && serialUriIsBluetooth(uri))
            state->job.isHCRP = 1;
        state->settings = state->job;
        selectPrinter(*state);
        if (isZVProtocolPrinter(state->family->deviceType) && !zvProtocolJobCanPrint()) return false;
        prologue.reset(buildJobPrologue(&state->settings));
    }
    papplLogJob(job, PAPPL_LOGLEVEL_INFO, "Printing for %s: darkness %d, speed %d, print mode %d, media %d.",
                state->family->description.data(), state->job.darkness, state->job.printSpeed, state->job.printMode,
                state->job.mediaTracking);
    if (!writeToDevice(job, device, prologue.get())) return false;
    papplJobSetData(job, state.release());
    return true;
}

bool startPage(pappl_job_t *job, pappl_pr_options_t *options, pappl_device_t *, unsigned page) {
    noteActivity();
    JobState *state = stateOf(job);
    if (state == nullptr) return false;
    const cups_page_header2_t &header = options->header;
    PageGeometry &geometry = state->geometry;
    geometry.colorSpace = static_cast<unsigned>(header.cupsColorSpace);
    geometry.bytesPerPixel = bytesPerPixelFor(geometry.colorSpace);
    geometry.bytesPerLine = header.cupsBytesPerLine;
    geometry.rows = header.cupsHeight;
    const uint64_t pixelsPerRow = (geometry.bytesPerLine + geometry.bytesPerPixel - 1) / geometry.bytesPerPixel;
    geometry.pitch = (pixelsPerRow + 7) / 8 * 8 * geometry.bytesPerPixel;
    state->pictureWidth = static_cast<long>(header.cupsWidth);
    if (header.cupsBitsPerColor != 8) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u has %u bits per colour; the printer takes 8-bit raster.", page,
                    header.cupsBitsPerColor);
        return false;
    }
    // A raster from the network can describe any size: refuse one larger
    // than any label before allocating for it.
    if (geometry.pitch == 0 || geometry.rows == 0 || geometry.rows > kMaxPageBytes / geometry.pitch) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u of %llu rows of %llu bytes is larger than the %llu MiB a page may use.",
                    page, static_cast<unsigned long long>(geometry.rows),
                    static_cast<unsigned long long>(geometry.bytesPerLine),
                    static_cast<unsigned long long>(kMaxPageBytes >> 20));
        return false;
    }
    try {
        const size_t bytes = static_cast<size_t>(geometry.pitch * geometry.rows);
        if (bytes > state->page.capacity()) std::vector<unsigned char>().swap(state->page);
        state->page.assign(bytes, 0xFF);
    } catch (const std::bad_alloc &) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Unable to allocate memory for page %u.", page);
        return false;
    }
    return true;
}

bool writeLine(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *, unsigned y, const unsigned char *line) {
    noteActivity();
    JobState *state = stateOf(job);
    if (state == nullptr || state->page.empty()) return false;
    if (y >= state->geometry.rows) return true;
    std::memcpy(state->page.data() + y * state->geometry.pitch, line, static_cast<size_t>(state->geometry.bytesPerLine));
    return true;
}

bool endPage(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device, unsigned page) {
    noteActivity();
    JobState *state = stateOf(job);
    if (state == nullptr) return false;
    // A job cancelled while its page came in sends nothing of that page: the
    // printer is left after the last whole page.
    if (papplJobIsCanceled(job)) return true;

    DynamicArrayPtr output;
    {
        std::lock_guard<std::mutex> lock(gPageCodeMutex);
        selectPrinter(*state);
        PrinterSettings *settings = &state->settings;
        applyPageSettings(settings);
        const PageGeometry &geometry = state->geometry;
        long width = static_cast<long>(geometry.pitch / geometry.bytesPerPixel);
        const long height = static_cast<long>(geometry.rows);
        clipPageWidth(state->page.data(), &width, height, settings, geometry.bytesPerPixel);
        setPageSizes(settings, width, height, settings->resolution);
        zvsettings::fitOffsetsToPage(state->job, settings, width, height, &state->offsetWarnings);
        PageSource source;
        source.colorSpace = geometry.colorSpace;
        source.bytesPerPixel = geometry.bytesPerPixel;
        source.bytesPerLine = static_cast<long>(geometry.bytesPerLine);
        source.pictureWidth = state->pictureWidth;
        output.reset(encodePage(state->page.data(), width, height, source, settings));
        keepJobState(state);
    }
    if (output == nullptr) {
        papplLogJob(job, PAPPL_LOGLEVEL_ERROR, "Page %u could not be converted for the printer.", page);
        return true;
    }
    if (papplJobIsCanceled(job)) return true;
    if (!writeToDevice(job, device, output.get())) return false;
    ++state->pagesSent;
    // The printer's status between pages, after the page's bytes are out.
    pappl_printer_t *printer = papplJobGetPrinter(job);
    if (answersOverItsDevice(printer, state->family)) pollProtocolPrinter(printer, *state->family, device, true);
    return true;
}

bool endJob(pappl_job_t *job, pappl_pr_options_t *, pappl_device_t *device) {
    noteActivity();
    std::unique_ptr<JobState> state(stateOf(job));
    papplJobSetData(job, nullptr);
    if (state == nullptr) return false;
    DynamicArrayPtr epilogue;
    {
        std::lock_guard<std::mutex> lock(gPageCodeMutex);
        selectPrinter(*state);
        epilogue.reset(buildJobEpilogue(&state->settings));
        // The diagnostic files describe the last job, as the filter's do.
        closeDebugLog();
    }
    return writeToDevice(job, device, epilogue.get());
}

// IPP attributes of one setting: "<name>-default" and "<name>-supported".
void addSettingAttributes(ipp_t *attrs, const SettingSpec &spec) {
    const std::string name(spec.name);
    if (spec.isKeyword()) {
        std::vector<const char *> keywords;
        const char *defaultKeyword = spec.choices.front().keyword.data();
        std::vector<std::string> storage;
        storage.reserve(spec.choices.size());
        for (const Choice &choice : spec.choices) {
            storage.emplace_back(choice.keyword);
            if (choice.value == spec.defaultValue) defaultKeyword = choice.keyword.data();
        }
        for (const std::string &keyword : storage) keywords.push_back(keyword.c_str());
        ippAddString(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (name + "-default").c_str(), nullptr,
                     std::string(defaultKeyword).c_str());
        ippAddStrings(attrs, IPP_TAG_PRINTER, IPP_TAG_KEYWORD, (name + "-supported").c_str(),
                      static_cast<int>(keywords.size()), nullptr, keywords.data());
    } else {
        ippAddInteger(attrs, IPP_TAG_PRINTER, IPP_TAG_INTEGER, (name + "-default").c_str(), spec.defaultValue);
        ippAddRange(attrs, IPP_TAG_PRINTER, (name + "-supported").c_str(), spec.low, spec.high);
    }
}

void setMedia(pappl_media_col_t *media, std::string_view name, const Family &family) {
    *media = pappl_media_col_t{};
    const std::string text(name);
    if (pwg_media_t *pwg = pwgMediaForPWG(text.c_str())) {
        media->size_width = pwg->width;
        media->size_length = pwg->length;
    }
    std::snprintf(media->size_name, sizeof media->size_name, "%s", text.c_str());
    std::snprintf(media->source, sizeof media->source, "%s", family.kind == PrinterKind::Sheet ? "main" : "main-roll");
    switch (family.mediaTracking) {
        case 1:
            media->tracking = PAPPL_MEDIA_TRACKING_GAP;
            std::snprintf(media->type, sizeof media->type, "labels");
            break;
        case 2:
            media->tracking = PAPPL_MEDIA_TRACKING_MARK;
            std::snprintf(media->type, sizeof media->type, "labels");
            break;
        default:
            media->tracking = PAPPL_MEDIA_TRACKING_CONTINUOUS;
            std::snprintf(media->type, sizeof media->type, "%s",
                          family.kind == PrinterKind::Sheet ? "stationery" : "continuous");
            break;
    }
}

}  // namespace

bool jobsRecentlyActive() { return nowMilliseconds() - gLastActivity.load(std::memory_order_relaxed) < 1000; }

std::vector<pappl_pr_driver_t> &papplDrivers() {
    static std::vector<pappl_pr_driver_t> drivers = [] {
        std::vector<pappl_pr_driver_t> list;
        for (const Family &family : families())
            list.push_back({family.driverName.data(), family.description.data(), nullptr, nullptr});
        return list;
    }();
    return drivers;
}

bool driverCallback(pappl_system_t *, const char *driverName, const char *, const char *,
                    pappl_pr_driver_data_t *data, ipp_t **attrs, void *) {
    const Family *family = findFamily(driverName != nullptr ? driverName : "");
    if (family == nullptr) return false;

    data->extension = const_cast<Family *>(family);
    data->rstartjob_cb = startJob;
    data->rstartpage_cb = startPage;
    data->rwriteline_cb = writeLine;
    data->rendpage_cb = endPage;
    data->rendjob_cb = endJob;
    if (isZVProtocolPrinter(family->deviceType)) data->status_cb = statusCallback;
    std::snprintf(data->make_and_model, sizeof data->make_and_model, "%s", family->description.data());
    data->ppm = family->kind == PrinterKind::Sheet ? 1 : 10;
    data->kind = family->kind == PrinterKind::Label     ? PAPPL_KIND_LABEL | PAPPL_KIND_ROLL
                 : family->kind == PrinterKind::Receipt ? PAPPL_KIND_RECEIPT | PAPPL_KIND_ROLL
                                                        : PAPPL_KIND_DOCUMENT;
    data->orient_default = IPP_ORIENT_NONE;
    if (family->raster == RasterKind::Rgb) {
        data->color_supported = PAPPL_COLOR_MODE_COLOR | PAPPL_COLOR_MODE_MONOCHROME;
        data->color_default = PAPPL_COLOR_MODE_COLOR;
        data->raster_types = PAPPL_PWG_RASTER_TYPE_SRGB_8 | PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    } else {
        data->color_supported = PAPPL_COLOR_MODE_MONOCHROME;
        data->color_default = PAPPL_COLOR_MODE_MONOCHROME;
        data->raster_types = PAPPL_PWG_RASTER_TYPE_SGRAY_8;
    }
    data->num_resolution = 1;
    data->x_resolution[0] = data->y_resolution[0] = family->resolution;
    data->x_default = data->y_default = family->resolution;
    // The whole label prints. Margins of 0.01 mm rather than 0: CUPS names
    // zero-margin sizes "4x6.Borderless" in the PPD it makes for a driverless
    // queue and then finds no default size, printing Letter pages instead.
    data->left_right = 1;
    data->bottom_top = 1;
    data->borderless = true;

    data->num_media = static_cast<int>(std::min<size_t>(family->media.size(), PAPPL_MAX_MEDIA));
    for (int i = 0; i < data->num_media; ++i) data->media[i] = family->media[static_cast<size_t>(i)].data();
    setMedia(&data->media_default, family->media.front(), *family);
    data->num_source = 1;
    data->source[0] = family->kind == PrinterKind::Sheet ? "main" : "main-roll";
    data->media_ready[0] = data->media_default;
    data->tracking_supported = family->tracksMedia ? PAPPL_MEDIA_TRACKING_CONTINUOUS | PAPPL_MEDIA_TRACKING_GAP |
                                                         PAPPL_MEDIA_TRACKING_MARK
                                                   : PAPPL_MEDIA_TRACKING_CONTINUOUS;
    if (family->kind == PrinterKind::Sheet) {
        data->num_type = 1;
        data->type[0] = "stationery";
    } else if (family->tracksMedia) {
        data->num_type = 2;
        data->type[0] = "labels";
        data->type[1] = "continuous";
    } else {
        data->num_type = 1;
        data->type[0] = "continuous";
    }
    // The families' darkness and speed scales differ (TSPL 0-15, ZPL 0-30,
    // CPCL -99-200, ...): they are settings of their own below, in the
    // printer's units, rather than IPP's percentages.
    data->darkness_supported = 0;
    data->speed_supported[0] = data->speed_supported[1] = 0;

    if (*attrs == nullptr) *attrs = ippNew();
    data->num_vendor = 0;
    for (const SettingSpec &spec : family->settings) {
        if (data->num_vendor >= PAPPL_MAX_VENDOR) break;
        data->vendor[data->num_vendor++] = spec.name.data();
        addSettingAttributes(*attrs, spec);
    }
    return true;
}

const char *autoAddCallback(const char *, const char *, const char *deviceId, void *) {
    if (deviceId == nullptr) return nullptr;
    const std::string id(deviceId);
    const auto has = [&id](const char *text) { return id.find(text) != std::string::npos; };
    if (has("CMD:TSPL") || has("COMMAND SET:TSPL")) return "zorvan_tspl_203";
    if (has("CMD:ZPL") || has("COMMAND SET:ZPL")) return "zorvan_zpl_203";
    if (has("CMD:CPCL") || has("COMMAND SET:CPCL")) return "zorvan_cpcl_203";
    if (has("CMD:ESC/POS") || has("COMMAND SET:ESC/POS")) return "zorvan_escpos_80";
    return nullptr;
}

}  // namespace zvapp
