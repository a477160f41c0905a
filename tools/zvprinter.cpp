// zvprinter: asks a protocol printer things and changes its settings.
//
//   zvprinter [options] DEVICE COMMAND [VALUE...]
//   zvprinter --dry-run [options] [DEVICE] COMMAND [VALUE...]
//
// DEVICE is a device node (a USB printer, a serial port or an RFCOMM
// Bluetooth device; a terminal is switched to raw mode), tcp:HOST:PORT, or "-"
// for standard input and output. The tool sends the command's packet, reads
// the reply with a timeout, checks its frame and CRC (decrypting it for ODM
// printer type 163) and prints the decoded reply as JSON, or as one short
// line with --text. Exit status 0 for an answer, 1 for a printer or device
// fault, 2 for a wrong command line.
// The PPD API is marked deprecated in CUPS 2.x but is how a printer's PPD is read.
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <cjson/cJSON.h>
#include <cups/ppd.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <netdb.h>
#include <string>
#include <vector>

#include "core/lenient_number.h"
#include "protocol/device_commands.h"
#include "protocol/packet.h"
#include "protocol/protocol_state.h"
#include "protocol/replies.h"
#include "protocol/setting_packets.h"
#include "protocol/zvsz_packet.h"

namespace {

// ---- the commands ------------------------------------------------------------

enum class Value { None, Integer, Text, TwoTexts };

struct Command {
    const char *name;
    const char *help;
    std::function<SendPack()> query;  // without a value; null: the value is required
    Value value;                      // the kind of value that makes it a setting
    std::function<SendPack(const std::vector<std::string> &)> set;
    uint8_t group;         // group of both requests
    uint8_t queryCommand;  // the reply's command to the query
    uint8_t setCommand;    // the reply's command to the setting
};

long number(const std::string &text) { return static_cast<long>(parseLeadingInt64(text.c_str())); }

const std::vector<Command> &commands() {
    using Args = const std::vector<std::string> &;
    static const std::vector<Command> table = {
        {"info", "system information (name, firmware, hardware version, serial number)", getPrinterInfoSystemData,
         Value::None, nullptr, 1, 3, 0},
        {"product", "product type, paper sizes, resolution, print width", getPrinterInfoProductData, Value::None,
         nullptr, 1, 4, 0},
        {"sn", "serial number", getPrinterInfoSNData, Value::None, nullptr, 1, 6, 0},
        {"name", "device name", getPrinterInfoNameData, Value::None, nullptr, 1, 8, 0},
        {"hardware", "hardware version, controller, power mode and voltage", getPrinterInfoHardwareData, Value::None,
         nullptr, 1, 10, 0},
        {"firmware", "firmware version", getPrinterInfoSoftwareData, Value::None, nullptr, 1, 11, 0},
        {"shutdown-time", "[MINUTES] time until the printer switches itself off", getPrinterInfoShutdownTimeData,
         Value::Integer, [](Args v) { return setPrinterInfoShutdownTimeData(number(v[0])); }, 1, 12, 13},
        {"battery", "battery voltage, charge and state", getPrinterInfoBatteryData, Value::None, nullptr, 1, 14, 0},
        {"temperature", "print head temperature", getPrinterInfoTEMPData, Value::None, nullptr, 1, 16, 0},
        {"status", "printer status word and battery power status", getPrinterInfoStateData, Value::None, nullptr, 1, 19,
         0},
        {"reset", "restart the printer", nullptr, Value::None, [](Args) { return setPrinterInfoResetData(); }, 1, 0,
         20},
        {"sleep", "put the printer to sleep", nullptr, Value::None, [](Args) { return setPrinterInfoSleepData(); }, 1,
         0, 21},
        {"shutdown", "switch the printer off", nullptr, Value::None, [](Args) { return setPrinterInfoShutdownData(); },
         1, 0, 22},
        {"factory-reset", "restore the factory settings", nullptr, Value::None,
         [](Args) { return setPrinterInfoRestoreFactorySettingsData(); }, 1, 0, 24},
        {"clock", "[SECONDS] set the printer's clock (default: this computer's local time)", nullptr, Value::Integer,
         [](Args v) { return setPrinterInfoUTCData(v.empty() ? 0 : static_cast<uint32_t>(number(v[0]))); }, 1, 0, 25},
        {"ota-path", "firmware update path", getPrinterInfoOTAPathData, Value::None, nullptr, 1, 35, 0},
        {"wifi", "[SSID PASSWORD] Wi-Fi network the printer joins", getPrinterWiFiConfigData, Value::TwoTexts,
         [](Args v) { return setPrinterWiFiConfigData(v[0].c_str(), v[1].c_str()); }, 3, 6, 2},
        {"wifi-info", "IP address, MAC, netmask, gateway, port, DHCP", getPrinterWiFiInfoData, Value::None, nullptr, 3,
         7, 0},
        {"bt-name", "[NAME] Bluetooth name (at most 32 bytes)", getPrinterBleNameData, Value::Text,
         [](Args v) { return setPrinterBleNameData(v[0].c_str()); }, 4, 1, 2},
        {"bt-mac", "Bluetooth address", getPrinterBleMacData, Value::None, nullptr, 4, 3, 0},
        {"bt-pin", "Bluetooth PIN code", getPrinterBlePinCodeData, Value::None, nullptr, 4, 5, 0},
        {"bt-baud", "Bluetooth module's serial speed", getPrinterBleUartRateData, Value::None, nullptr, 4, 7, 0},
        {"bt-version", "Bluetooth module version", getPrinterBleVersionData, Value::None, nullptr, 4, 9, 0},
        {"ble-state", "Bluetooth LE connection state", getPrinterBleStateData, Value::None, nullptr, 4, 13, 0},
        {"colour-support", "colour and gray support", getPrinterPrintColorSupportData, Value::None, nullptr, 5, 1, 0},
        {"darkness", "[N | N,FINE] print darkness (0 to 15)", getPrinterPrintDarknessData, Value::Text,
         [](Args v) { return setPrinterPrintDarknessData(v[0].c_str()); }, 5, 3, 4},
        {"speed", "[N] print speed", getPrinterPrintSpeedData, Value::Integer,
         [](Args v) { return setPrinterPrintSpeedData(static_cast<int>(number(v[0]))); }, 5, 6, 7},
        {"self-test", "print the self-test page", nullptr, Value::None,
         [](Args) { return setPrinterPrintSelfTestData(); }, 5, 0, 9},
        {"print-head", "print head maker and model", getPrinterPrintTPHModelData, Value::None, nullptr, 5, 15, 0},
        {"paper-type", "[N] paper type (0, 1 or 2) and paper length", getPrinterPrintPaperTypeData, Value::Integer,
         [](Args v) { return setPrinterPrintPaperTypeData(static_cast<int>(number(v[0]))); }, 5, 16, 17},
        {"label-learn", "learn the label length", nullptr, Value::None,
         [](Args) { return setPrinterPrintLabelLearnData(); }, 5, 0, 18},
        {"lack-paper-learn", "learn the paper-out sensor", nullptr, Value::None,
         [](Args) { return setPrinterPrintLackPaperLearnData(); }, 5, 0, 19},
        {"lack-paper", "paper-out sensors", getPrinterPrintLackPaperData, Value::None, nullptr, 5, 20, 0},
        {"bad-spot", "bad dot detection of the print head", getPrinterPrintBadSpotDetectionData, Value::None, nullptr,
         5, 21, 0},
        {"mileage", "printed length", getPrinterPrintMileageData, Value::None, nullptr, 5, 23, 0},
        {"clear-mileage", "reset the printed length", nullptr, Value::None,
         [](Args) { return setPrinterPrintClearMileageData(); }, 5, 0, 24},
        {"fallback", "[LENGTH] paper fallback length", getPrinterPrintFallbackData, Value::Integer,
         [](Args v) { return setPrinterPrintFallbackData(number(v[0])); }, 5, 28, 27},
        {"ad-value", "paper sensor reading", getPrinterPrintADData, Value::None, nullptr, 5, 30, 0},
        {"busy", "whether the printer is busy", getPrinterPrinterBusyStateData, Value::None, nullptr, 5, 32, 0},
        {"cutting-alert", "[N] manual cutting alert", getPrinterPrintManualCuttingAlertData, Value::Integer,
         [](Args v) { return setPrinterPrintManualCuttingAlertData(static_cast<int>(number(v[0]))); }, 5, 36, 37},
        {"canvas-shift", "[X,Y] print offsets", getPrinterPrintCanvasShiftData, Value::Text,
         [](Args v) { return setPrinterPrintCanvasShiftData(v[0].c_str()); }, 5, 38, 39},
        {"print-mode", "[N] print mode", getPrinterPrintModeData, Value::Integer,
         [](Args v) { return setPrinterPrintModeData(static_cast<int>(number(v[0]))); }, 5, 40, 41},
        {"nfc", "NFC tag state", getPrinterNFCInfoData, Value::None, nullptr, 7, 2, 0},
        {"ink", "ink cartridge type, volumes, temperature and id", getPrinterInkjetInfoData, Value::None, nullptr, 9, 1,
         0},
        {"ink-clean", "N clean the ink cartridge (0 to 2)", nullptr, Value::Integer,
         [](Args v) { return setPrinterInkjetCleanData(static_cast<int>(number(v[0]))); }, 9, 0, 3},
    };
    return table;
}

const Command *findCommand(const std::string &name) {
    for (const Command &c : commands())
        if (name == c.name) return &c;
    return nullptr;
}

void usage(FILE *out) {
    std::fprintf(out,
                 "usage: zvprinter [options] DEVICE COMMAND [VALUE...]\n"
                 "       zvprinter --dry-run [options] [DEVICE] COMMAND [VALUE...]\n"
                 "DEVICE: a device node (/dev/usb/lp0, /dev/ttyUSB0, /dev/rfcomm0), tcp:HOST:PORT, or - for\n"
                 "        standard input and output (the answer then goes to standard error)\n"
                 "options:\n"
                 "  --text            one short line instead of JSON\n"
                 "  --timeout SECONDS how long to wait for the reply (default 3)\n"
                 "  --dry-run         print the packet in hexadecimal and send nothing\n"
                 "  --zvsz            the printer speaks the second framing (marks 19 73 10 19 and\n"
                 "                    19 79 04 02): only info and wifi SSID PASSWORD\n"
                 "  --odm N           ODM printer type (default 28; 163 encrypts)\n"
                 "  --ppd FILE        ODM type from *ExtensionAttr PrinterSize, AES key and IV from\n"
                 "                    *ZVAttr AESKey / AESIV\n"
                 "  --aes-key HEX --aes-iv HEX   key and initial vector, 32 hexadecimal digits each\n"
                 "  --part-size BYTES file bytes per download packet (default 1024)\n"
                 "  --help            this text\n"
                 "commands (a value in brackets makes a query a setting):\n");
    for (const Command &c : commands()) std::fprintf(out, "  %-17s %s\n", c.name, c.help);
    std::fprintf(out, "  %-17s %s\n", "download",
                 "TYPE FILE [NAME] send a file (type 1 to 3) to the printer, part by part");
}

// ---- the device ----------------------------------------------------------------

struct Device {
    int in = -1;
    int out = -1;
    bool own = false;
    ~Device() {
        if (own && in >= 0) ::close(in);
        if (own && out >= 0 && out != in) ::close(out);
    }
};

using Clock = std::chrono::steady_clock;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

bool openTcp(const std::string &address, Device &device, Clock::time_point deadline, std::string &error) {
    const size_t colon = address.rfind(':');
    if (colon == std::string::npos || colon == 0 || colon + 1 == address.size()) {
        error = "a TCP address is tcp:HOST:PORT";
        return false;
    }
    std::string host = address.substr(0, colon);
    const std::string port = address.substr(colon + 1);
    if (host.size() > 2 && host.front() == '[' && host.back() == ']') host = host.substr(1, host.size() - 2);
    addrinfo hints{};
    hints.ai_socktype = SOCK_STREAM;
    addrinfo *found = nullptr;
    const int rc = getaddrinfo(host.c_str(), port.c_str(), &hints, &found);
    if (rc != 0) {
        error = gai_strerror(rc);
        return false;
    }
    error = "no address";
    for (addrinfo *a = found; a != nullptr; a = a->ai_next) {
        const int fd = ::socket(a->ai_family, a->ai_socktype | SOCK_CLOEXEC | SOCK_NONBLOCK, a->ai_protocol);
        if (fd < 0) {
            error = std::strerror(errno);
            continue;
        }
        int result = ::connect(fd, a->ai_addr, a->ai_addrlen);
        if (result != 0 && errno == EINPROGRESS) {
            pollfd p{fd, POLLOUT, 0};
            result = -1;
            errno = ETIMEDOUT;
            if (::poll(&p, 1, remainingMs(deadline)) == 1) {
                int soError = 0;
                socklen_t length = sizeof soError;
                getsockopt(fd, SOL_SOCKET, SO_ERROR, &soError, &length);
                errno = soError;
                if (soError == 0) result = 0;
            }
        }
        if (result == 0) {
            device.in = device.out = fd;
            device.own = true;
            freeaddrinfo(found);
            return true;
        }
        error = std::strerror(errno);
        ::close(fd);
    }
    freeaddrinfo(found);
    return false;
}

bool openDevice(const std::string &path, Device &device, Clock::time_point deadline, std::string &error) {
    if (path == "-") {
        device.in = STDIN_FILENO;
        device.out = STDOUT_FILENO;
        return true;
    }
    if (path.compare(0, 4, "tcp:") == 0) return openTcp(path.substr(4), device, deadline, error);
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    device.in = device.out = fd;
    device.own = true;
    termios tio{};
    if (isatty(fd) && tcgetattr(fd, &tio) == 0) {
        // Replies are binary: no echo, no line editing, no translation of
        // carriage returns or flow-control bytes.
        cfmakeraw(&tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (tcsetattr(fd, TCSANOW, &tio) != 0) {
            error = std::string("cannot set raw mode: ") + std::strerror(errno);
            return false;
        }
    }
    return true;
}

bool writeAll(int fd, const uint8_t *data, size_t length, Clock::time_point deadline, std::string &error) {
    while (length > 0) {
        const ssize_t n = ::write(fd, data, length);
        if (n > 0) {
            data += n;
            length -= static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
            pollfd p{fd, POLLOUT, 0};
            if (::poll(&p, 1, remainingMs(deadline)) <= 0) {
                error = "the device takes no data (timed out)";
                return false;
            }
            continue;
        }
        error = n < 0 ? std::strerror(errno) : "nothing written";
        return false;
    }
    return true;
}

// ---- the reply -------------------------------------------------------------------

enum class Outcome { Answer, NoReply, StoppedMidFrame, BadCrc, TooLong, OtherCommand, Closed, ReadError };

struct Reply {
    Outcome outcome = Outcome::NoReply;
    uint32_t result = 0;
    uint8_t head = 0, group = 0, command = 0;
    std::string json;
    size_t bytesRead = 0;
    std::string error;
};

// Reads from `fd` until `step` (fed one byte at a time) says the reply is in
// or has failed, or the deadline passes. `inFrame` tells a reply cut off
// from no reply at all.
Reply readFrames(int fd, Clock::time_point deadline, const std::function<bool(uint8_t, Reply &)> &step,
                 const std::function<bool()> &inFrame) {
    Reply reply;
    uint8_t buffer[512];
    for (;;) {
        // A printer that never stops sending noise must not hold the tool
        // past its deadline: poll alone would keep finding bytes to read.
        if (Clock::now() >= deadline) {
            reply.outcome = inFrame() ? Outcome::StoppedMidFrame : Outcome::NoReply;
            return reply;
        }
        pollfd p{fd, POLLIN, 0};
        const int ready = ::poll(&p, 1, remainingMs(deadline));
        if (ready < 0 && errno == EINTR) continue;
        if (ready <= 0) {
            reply.outcome = inFrame() ? Outcome::StoppedMidFrame : Outcome::NoReply;
            return reply;
        }
        const ssize_t n = ::read(fd, buffer, sizeof buffer);
        if (n < 0 && (errno == EINTR || errno == EAGAIN || errno == EWOULDBLOCK)) continue;
        if (n < 0 && errno != EIO) {
            reply.outcome = Outcome::ReadError;
            reply.error = std::strerror(errno);
            return reply;
        }
        if (n <= 0) {
            // End of the stream (or a terminal whose other side has gone).
            reply.outcome = inFrame() ? Outcome::StoppedMidFrame : Outcome::Closed;
            return reply;
        }
        for (ssize_t i = 0; i < n; ++i) {
            ++reply.bytesRead;
            if (step(buffer[i], reply)) return reply;
        }
    }
}

// The reply to (group, command) in the packet frame. Notices the printer
// sends on its own (head byte 0x10, of another command) are passed over.
Reply readReply(int fd, uint8_t group, uint8_t command, Clock::time_point deadline) {
    ReplyDecoder decoder;
    auto step = [&](uint8_t byte, Reply &reply) {
        decoder.feed(byte);
        const uint8_t error = decoder.takeError();
        if (error == kReceiveCrcMismatch) {
            reply.outcome = Outcome::BadCrc;
            return true;
        }
        if (error == kReceiveBodyTooLong) {
            reply.outcome = Outcome::TooLong;
            return true;
        }
        if (!decoder.replyReady()) return false;
        decoder.unpack();
        reply.head = decoder.headByte();
        reply.group = decoder.group();
        reply.command = decoder.command();
        if (reply.group != group || reply.command != command) {
            if (reply.head == kReplyHeadNotice) return false;
            reply.outcome = Outcome::OtherCommand;
            return true;
        }
        reply.result = decoder.interpret();
        reply.json = decoder.json();
        reply.outcome = Outcome::Answer;
        return true;
    };
    return readFrames(fd, deadline, step, [&] { return decoder.inFrame(); });
}

// The reply with code `code` in the second framing.
Reply readZVSZReply(int fd, uint8_t code, Clock::time_point deadline) {
    ZVSZDecoder decoder;
    auto step = [&](uint8_t byte, Reply &reply) {
        decoder.feed(byte);
        if (decoder.takeError() == kZVSZBodyTooLong) {
            reply.outcome = Outcome::TooLong;
            return true;
        }
        if (!decoder.replyReady()) return false;
        decoder.unpack();
        reply.command = decoder.replyCode();
        if (reply.command != code) {
            reply.outcome = Outcome::OtherCommand;
            return true;
        }
        reply.result = decoder.interpret();
        // A reply with bytes left over fills the JSON but is no answer.
        reply.json = reply.result == kReplyUnderstood ? decoder.json() : std::string();
        reply.outcome = Outcome::Answer;
        return true;
    };
    return readFrames(fd, deadline, step, [&] { return decoder.inFrame(); });
}

// ---- output ------------------------------------------------------------------------

std::string hexOf(const uint8_t *data, size_t length) {
    std::string text;
    char two[4];
    for (size_t i = 0; i < length; ++i) {
        std::snprintf(two, sizeof two, i == 0 ? "%02X" : " %02X", data[i]);
        text += two;
    }
    return text;
}

// One line of "key: value" pairs; the status word also in words.
std::string textLine(const std::string &json) {
    cJSON *root = cJSON_Parse(json.c_str());
    if (root == nullptr || !cJSON_IsObject(root)) {
        cJSON_Delete(root);
        return json.empty() ? "ok" : json;
    }
    std::string line;
    for (cJSON *item = root->child; item != nullptr; item = item->next) {
        if (!line.empty()) line += ", ";
        line += item->string;
        line += ": ";
        const char *value = cJSON_IsString(item) ? item->valuestring : nullptr;
        std::string shown;
        if (value != nullptr) {
            shown = value;
        } else {
            char *printed = cJSON_PrintUnformatted(item);
            shown = printed != nullptr ? printed : "";
            cJSON_free(printed);
        }
        line += shown;
        if (value != nullptr && std::strcmp(item->string, "printStatus") == 0) {
            // "Lid Opened;Lack Paper;" reads as "Lid Opened; Lack Paper".
            const std::string texts = printerStatusText(static_cast<uint32_t>(std::strtoul(value, nullptr, 10)), true);
            std::string words;
            size_t from = 0;
            for (size_t semicolon; (semicolon = texts.find(';', from)) != std::string::npos; from = semicolon + 1)
                words += (words.empty() ? "" : "; ") + texts.substr(from, semicolon - from);
            line += " (" + (words.empty() ? std::string("Ready") : words) + ")";
        }
    }
    cJSON_Delete(root);
    return line.empty() ? "ok" : line;
}

// One line on standard error for a reply that is no answer; false when the
// reply is an answer. `expected` names what was waited for.
bool reportFault(const Reply &reply, const std::string &devicePath, double timeout, bool zvsz,
                 const std::string &expected) {
    const char *dev = devicePath.c_str();
    switch (reply.outcome) {
        case Outcome::NoReply:
            if (reply.bytesRead > 0)
                std::fprintf(stderr, "zvprinter: no reply from %s within %g s (%zu bytes that were no reply frame)\n",
                             dev, timeout, reply.bytesRead);
            else
                std::fprintf(stderr, "zvprinter: no reply from %s within %g s\n", dev, timeout);
            return true;
        case Outcome::Closed:
            std::fprintf(stderr, "zvprinter: %s closed the connection without a reply\n", dev);
            return true;
        case Outcome::StoppedMidFrame:
            std::fprintf(stderr, "zvprinter: the reply from %s stopped in the middle of a frame\n", dev);
            return true;
        case Outcome::BadCrc:
            std::fprintf(stderr, "zvprinter: the reply from %s has a bad CRC\n", dev);
            return true;
        case Outcome::TooLong:
            std::fprintf(stderr, "zvprinter: the reply from %s announces a body longer than %u bytes\n", dev,
                         zvsz ? kZVSZMaxFrame : kReplyMaxBody);
            return true;
        case Outcome::ReadError:
            std::fprintf(stderr, "zvprinter: cannot read from %s: %s\n", dev, reply.error.c_str());
            return true;
        case Outcome::OtherCommand:
            if (zvsz)
                std::fprintf(stderr,
                             "zvprinter: %s answered with the reply of another command (code %u, expected %s)\n", dev,
                             reply.command, expected.c_str());
            else
                std::fprintf(stderr,
                             "zvprinter: %s answered with the reply of another command (group %u command %u, expected "
                             "%s)\n",
                             dev, reply.group, reply.command, expected.c_str());
            return true;
        case Outcome::Answer:
            break;
    }
    return false;
}

void printAnswer(const std::string &devicePath, bool text, const std::string &replyJson) {
    // With "-" standard output is the printer: the answer goes to standard error.
    FILE *out = devicePath == "-" ? stderr : stdout;
    const std::string json = replyJson.empty() ? "{}" : replyJson;
    std::fprintf(out, "%s\n", text ? textLine(json).c_str() : json.c_str());
}

// ---- options -------------------------------------------------------------------------

struct Options {
    bool text = false;
    bool dryRun = false;
    bool zvsz = false;
    long partSize = 1024;
    double timeout = 3.0;
    long odm = -1;
    const char *ppd = nullptr;
    const char *aesKey = nullptr;
    const char *aesIv = nullptr;
    std::vector<std::string> positional;
};

// The ODM type and the AES key and IV of a printer's PPD.
bool readPpd(const char *path, Options &options, std::string &error) {
    ppd_file_t *ppd = ppdOpenFile(path);
    if (ppd == nullptr) {
        error = std::string("cannot read the PPD ") + path;
        return false;
    }
    bool ok = true;
    ppd_attr_t *size = ppdFindAttr(ppd, "ExtensionAttr", "PrinterSize");
    if (options.odm < 0 && size != nullptr && size->value != nullptr && std::strchr(size->value, '.') != nullptr)
        options.odm = static_cast<uint8_t>(parseLeadingInt32(size->value));
    ppd_attr_t *key = ppdFindAttr(ppd, "ZVAttr", "AESKey");
    ppd_attr_t *iv = ppdFindAttr(ppd, "ZVAttr", "AESIV");
    if (key != nullptr || iv != nullptr) {
        if (key == nullptr || iv == nullptr || key->value == nullptr || iv->value == nullptr ||
            !setAES128KeyHex(key->value) || !setAES128IVHex(iv->value)) {
            error =
                std::string("the PPD ") + path + " has no valid *ZVAttr AESKey and AESIV (32 hexadecimal digits each)";
            ok = false;
        }
    }
    ppdClose(ppd);
    return ok;
}

int parseOptions(int argc, char **argv, Options &options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        auto value = [&](const char *name) -> const char * {
            if (i + 1 >= argc) {
                std::fprintf(stderr, "zvprinter: %s needs a value\n", name);
                return nullptr;
            }
            return argv[++i];
        };
        if (arg == "--help" || arg == "-h") {
            usage(stdout);
            return 0;
        } else if (arg == "--text") {
            options.text = true;
        } else if (arg == "--dry-run") {
            options.dryRun = true;
        } else if (arg == "--zvsz") {
            options.zvsz = true;
        } else if (arg == "--part-size") {
            const char *v = value("--part-size");
            if (v == nullptr) return 2;
            char *end = nullptr;
            options.partSize = std::strtol(v, &end, 10);
            if (end == v || *end != '\0' || options.partSize < 1 || options.partSize > 65000) {
                std::fprintf(stderr, "zvprinter: --part-size takes a number of bytes from 1 to 65000\n");
                return 2;
            }
        } else if (arg == "--timeout") {
            const char *v = value("--timeout");
            if (v == nullptr) return 2;
            char *end = nullptr;
            options.timeout = std::strtod(v, &end);
            if (end == v || *end != '\0' || !(options.timeout > 0) || options.timeout > 3600) {
                std::fprintf(stderr, "zvprinter: --timeout takes seconds above 0, at most 3600\n");
                return 2;
            }
        } else if (arg == "--odm") {
            const char *v = value("--odm");
            if (v == nullptr) return 2;
            char *end = nullptr;
            options.odm = std::strtol(v, &end, 10);
            if (end == v || *end != '\0' || options.odm < 0 || options.odm > 255) {
                std::fprintf(stderr, "zvprinter: --odm takes a number from 0 to 255\n");
                return 2;
            }
        } else if (arg == "--ppd") {
            if ((options.ppd = value("--ppd")) == nullptr) return 2;
        } else if (arg == "--aes-key") {
            if ((options.aesKey = value("--aes-key")) == nullptr) return 2;
        } else if (arg == "--aes-iv") {
            if ((options.aesIv = value("--aes-iv")) == nullptr) return 2;
        } else if (arg.size() > 2 && arg.compare(0, 2, "--") == 0) {
            std::fprintf(stderr, "zvprinter: unknown option %s (see --help)\n", arg.c_str());
            return 2;
        } else {
            options.positional.push_back(arg);
        }
    }
    return -1;
}

// ---- the file download ----------------------------------------------------------

bool readFile(const std::string &path, std::vector<uint8_t> &bytes, std::string &error) {
    FILE *f = std::fopen(path.c_str(), "rb");
    if (f == nullptr) {
        error = std::strerror(errno);
        return false;
    }
    // The download counts its bytes in 32 bits; far below that, a file this
    // large is no printer file.
    constexpr size_t kLimit = 64u << 20;
    uint8_t buffer[65536];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) {
        bytes.insert(bytes.end(), buffer, buffer + n);
        if (bytes.size() > kLimit) {
            std::fclose(f);
            error = "larger than 64 MiB";
            return false;
        }
    }
    const bool failed = std::ferror(f) != 0;
    std::fclose(f);
    if (failed) error = "read error";
    return !failed;
}

std::vector<uint8_t> takePack(SendPack pack) {
    std::vector<uint8_t> bytes;
    if (!isEmptyProtocolPack(pack)) bytes.assign(pack.data, pack.data + pack.length);
    freeSendPack(pack);
    return bytes;
}

// Start, parts and end of a file download, each answered before the next is
// sent; the printer's answer to the end is printed.
int runDownload(const std::vector<std::string> &values, const std::string &devicePath, const Options &options,
                std::function<int(const std::vector<uint8_t> &, uint8_t, Reply &)> exchange) {
    if (values.size() < 2 || values.size() > 3) {
        std::fprintf(stderr, "zvprinter: download takes TYPE FILE [NAME]\n");
        return 2;
    }
    char *end = nullptr;
    const long type = std::strtol(values[0].c_str(), &end, 10);
    if (values[0].empty() || *end != '\0' || type < 1 || type > 3) {
        std::fprintf(stderr, "zvprinter: download takes a file type from 1 to 3, not \"%s\"\n", values[0].c_str());
        return 2;
    }
    std::vector<uint8_t> file;
    std::string error;
    if (!readFile(values[1], file, error)) {
        std::fprintf(stderr, "zvprinter: cannot read %s: %s\n", values[1].c_str(), error.c_str());
        return 1;
    }
    if (file.empty()) {
        std::fprintf(stderr, "zvprinter: %s is empty\n", values[1].c_str());
        return 1;
    }
    setDownFileOnePackage(static_cast<uint32_t>(options.partSize));
    const std::string name = values.size() == 3 ? values[2] : std::string();
    // Each packet is built just before it is sent: building moves the
    // transfer counters that the printer's progress replies are read against.
    const size_t parts =
        (file.size() + static_cast<size_t>(options.partSize) - 1) / static_cast<size_t>(options.partSize);
    auto build = [&](size_t index) {
        if (index == 0)
            return takePack(getStartDownFileData(static_cast<int>(type), name.c_str(), file.data(),
                                                 static_cast<uint32_t>(file.size()), 0));
        return takePack(index <= parts ? getDownFileNextPackData() : getDownFileEnd());
    };
    Reply reply;
    for (size_t i = 0; i <= parts + 1; ++i) {
        const std::vector<uint8_t> packet = build(i);
        if (packet.empty()) {
            std::fprintf(stderr, "zvprinter: the download packets cannot be built (part size too large?)\n");
            return 2;
        }
        if (options.dryRun) {
            std::printf("%s\n", hexOf(packet.data(), packet.size()).c_str());
            continue;
        }
        const uint8_t command = i == 0 ? 1 : (i > parts ? 2 : 3);
        const int status = exchange(packet, command, reply);
        if (status != 0) return status;
        if (reply.result != kReplyUnderstood) {
            const std::string where = i == 0 ? "its start" : (command == 2 ? "its end" : "part " + std::to_string(i));
            std::fprintf(stderr, "zvprinter: the printer stopped the download at %s: %s\n", where.c_str(),
                         textLine(reply.json).c_str());
            return 1;
        }
    }
    if (options.dryRun) return 0;
    printAnswer(devicePath, options.text, reply.json);
    return 0;
}

}  // namespace

int main(int argc, char **argv) {
    Options options;
    const int parsed = parseOptions(argc, argv, options);
    if (parsed >= 0) return parsed;

    // DEVICE COMMAND [VALUE...]; with --dry-run the device may be left out.
    std::vector<std::string> &pos = options.positional;
    size_t at = 0;
    std::string devicePath;
    auto known = [](const std::string &name) { return name == "download" || findCommand(name) != nullptr; };
    if (!(options.dryRun && !pos.empty() && known(pos[0]))) {
        if (pos.empty()) {
            usage(stderr);
            return 2;
        }
        devicePath = pos[at++];
    }
    if (at >= pos.size()) {
        std::fprintf(stderr, "zvprinter: no command given (see --help)\n");
        return 2;
    }
    const bool download = pos[at] == "download";
    const Command *command = download ? findCommand("firmware") : findCommand(pos[at]);
    if (command == nullptr) {
        std::fprintf(stderr, "zvprinter: unknown command %s (see --help)\n", pos[at].c_str());
        return 2;
    }
    const std::vector<std::string> values(pos.begin() + static_cast<long>(at) + 1, pos.end());
    if (download && options.zvsz) {
        std::fprintf(stderr, "zvprinter: with --zvsz the commands are info and wifi SSID PASSWORD\n");
        return 2;
    }
    const size_t wanted = command->value == Value::TwoTexts ? 2 : 1;
    const bool isSetting = command->query == nullptr || !values.empty();
    const char *valueError = nullptr;
    if (command->value == Value::None && !values.empty())
        valueError = "takes no value";
    else if (!values.empty() && values.size() != wanted)
        valueError = wanted == 2 ? "takes two values" : "takes one value";
    else if (command->query == nullptr && command->value != Value::None && values.empty() &&
             std::strcmp(command->name, "clock") != 0)
        valueError = "needs a value";
    if (valueError != nullptr && !download) {
        std::fprintf(stderr, "zvprinter: %s %s\n", command->name, valueError);
        return 2;
    }
    if (command->value == Value::Integer && !download) {
        for (const std::string &v : values) {
            char *end = nullptr;
            std::strtol(v.c_str(), &end, 10);
            if (v.empty() || *end != '\0') {
                std::fprintf(stderr, "zvprinter: %s takes a whole number, not \"%s\"\n", command->name, v.c_str());
                return 2;
            }
        }
    }

    if (options.ppd != nullptr) {
        std::string error;
        if (!readPpd(options.ppd, options, error)) {
            std::fprintf(stderr, "zvprinter: %s\n", error.c_str());
            return 1;
        }
    }
    if ((options.aesKey != nullptr) != (options.aesIv != nullptr)) {
        std::fprintf(stderr, "zvprinter: --aes-key and --aes-iv go together\n");
        return 2;
    }
    if (options.aesKey != nullptr && (!setAES128KeyHex(options.aesKey) || !setAES128IVHex(options.aesIv))) {
        std::fprintf(stderr, "zvprinter: the AES key and initial vector are 32 hexadecimal digits each\n");
        return 2;
    }
    const uint32_t odm = options.odm >= 0 ? static_cast<uint32_t>(options.odm) : 28;
    setODMType(odm);
    if (odm == 163 && !(hasAES128Key() && hasAES128IV())) {
        std::fprintf(stderr,
                     "zvprinter: ODM type 163 encrypts every packet: give the printer's --ppd with *ZVAttr AESKey "
                     "and AESIV, or --aes-key and --aes-iv\n");
        return 2;
    }

    if (download) {
        Device device;
        bool opened = false;
        auto exchange = [&](const std::vector<uint8_t> &packet, uint8_t replyCommand, Reply &reply) {
            const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long>(options.timeout * 1000));
            std::string error;
            if (!opened) {
                if (!openDevice(devicePath, device, deadline, error)) {
                    std::fprintf(stderr, "zvprinter: cannot open %s: %s\n", devicePath.c_str(), error.c_str());
                    return 1;
                }
                opened = true;
            }
            if (!writeAll(device.out, packet.data(), packet.size(), deadline, error)) {
                std::fprintf(stderr, "zvprinter: cannot write to %s: %s\n", devicePath.c_str(), error.c_str());
                return 1;
            }
            reply = readReply(device.in, 2, replyCommand, deadline);
            return reportFault(reply, devicePath, options.timeout, false,
                               "group 2 command " + std::to_string(replyCommand))
                       ? 1
                       : 0;
        };
        return runDownload(values, devicePath, options, exchange);
    }
    if (options.zvsz &&
        !(std::strcmp(command->name, "info") == 0 || (std::strcmp(command->name, "wifi") == 0 && values.size() == 2))) {
        std::fprintf(stderr, "zvprinter: with --zvsz the commands are info and wifi SSID PASSWORD\n");
        return 2;
    }
    SendPack pack = options.zvsz ? (isSetting ? ZVSZ_Set_PrinterWiFi(values[0].c_str(), values[1].c_str())
                                              : ZVSZ_Get_PrinterInfoData())
                                 : (isSetting ? command->set(values) : command->query());
    if (isEmptyProtocolPack(pack)) {
        freeSendPack(pack);
        std::fprintf(stderr, "zvprinter: %s does not take the value %s\n", command->name,
                     values.empty() ? "given" : values[0].c_str());
        return 2;
    }
    const std::vector<uint8_t> request(pack.data, pack.data + pack.length);
    freeSendPack(pack);

    if (options.dryRun) {
        std::printf("%s\n", hexOf(request.data(), request.size()).c_str());
        return 0;
    }

    const auto deadline = Clock::now() + std::chrono::milliseconds(static_cast<long>(options.timeout * 1000));
    Device device;
    std::string error;
    if (!openDevice(devicePath, device, deadline, error)) {
        std::fprintf(stderr, "zvprinter: cannot open %s: %s\n", devicePath.c_str(), error.c_str());
        return 1;
    }
    if (!writeAll(device.out, request.data(), request.size(), deadline, error)) {
        std::fprintf(stderr, "zvprinter: cannot write to %s: %s\n", devicePath.c_str(), error.c_str());
        return 1;
    }
    const uint8_t group = command->group;
    const uint8_t replyCommand = isSetting ? command->setCommand : command->queryCommand;
    const uint8_t zvszCode = isSetting ? 4 : 2;
    const Reply reply = options.zvsz ? readZVSZReply(device.in, zvszCode, deadline)
                                     : readReply(device.in, group, replyCommand, deadline);
    const std::string expected = options.zvsz
                                     ? std::to_string(zvszCode)
                                     : "group " + std::to_string(group) + " command " + std::to_string(replyCommand);
    if (reportFault(reply, devicePath, options.timeout, options.zvsz, expected)) return 1;
    if (reply.result == kReplyRefused) {
        std::fprintf(stderr, "zvprinter: the printer refused %s or sent a malformed reply\n", command->name);
        return 1;
    }
    // The acknowledgement of a setting that the decoder does not interpret
    // (the Wi-Fi network, for one) is still the printer's answer to it.
    if (reply.result == kReplyUnknown && !isSetting) {
        std::fprintf(stderr, "zvprinter: the reply to %s is of a kind this tool does not know\n", command->name);
        return 1;
    }
    printAnswer(devicePath, options.text, reply.json);
    return 0;
}
