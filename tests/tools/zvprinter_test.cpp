// zvprinter as people run it, against a simulated printer: a pseudo-terminal
// (as an RFCOMM or serial device is), a TCP listener on the loopback, or a
// socket pair on standard input and output. The printer reads the request
// frame the tool sends and answers with reply frames laid out byte by byte,
// or with garbage, late, cut off mid-frame, with a bad CRC or the reply of
// another command.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <arpa/inet.h>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <netinet/in.h>
#include <string>
#include <thread>
#include <vector>

#include "protocol/aes.h"
#include "tests/protocol/reply_frames.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/temp_dir.h"

using zvtest::hexBytes;
using zvtest::replyFrame;
using zvtest::textBytes;
using zvtest::tlvItem;

namespace {

const std::string kTool = std::string(ZV_BINARY_DIR) + "/tools/zvprinter";

struct ToolResult {
    int status = -1;
    std::string out, err;
};

// What the simulated printer got.
struct Request {
    bool complete = false;
    std::vector<uint8_t> bytes;
    uint8_t group = 0, command = 0;
    std::vector<uint8_t> payload;  // plain frames only
};

// One answer: bytes written after a pause.
struct Chunk {
    int delayMs;
    std::vector<uint8_t> bytes;
};
using Answer = std::function<std::vector<Chunk>(const Request &)>;

// Reads one request frame (long or short head) from `fd`.
Request readRequest(int fd, int timeoutMs) {
    Request request;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const std::vector<uint8_t> &b = request.bytes;
        const bool shortHead = b.size() >= 2 && b[0] == 0xA3 && b[1] != 0x1E;
        const size_t lead = shortHead ? 4 : 6;
        if (b.size() >= lead) {
            const size_t total = lead + (b[lead - 2] | b[lead - 1] << 8) + 4;
            if (b.size() >= total) {
                request.complete = true;
                if (!shortHead && total >= 15) {
                    request.group = b[7];
                    request.command = b[8];
                    request.payload.assign(b.begin() + 11, b.begin() + static_cast<long>(total) - 4);
                }
                return request;
            }
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) return request;
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0) return request;
        uint8_t buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return request;
        request.bytes.insert(request.bytes.end(), buffer, buffer + n);
    }
}

void play(int fd, const Request &request, const Answer &answer) {
    if (!answer) return;
    // A tool that has already given up must fail the test, not end it by SIGPIPE.
    signal(SIGPIPE, SIG_IGN);
    for (const Chunk &chunk : answer(request)) {
        if (chunk.delayMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(chunk.delayMs));
        size_t at = 0;
        while (at < chunk.bytes.size()) {
            const ssize_t n = write(fd, chunk.bytes.data() + at, chunk.bytes.size() - at);
            if (n <= 0) return;
            at += static_cast<size_t>(n);
        }
    }
}

std::string readText(const std::string &path) {
    std::string text;
    if (FILE *f = std::fopen(path.c_str(), "rb")) {
        char buffer[4096];
        size_t n;
        while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) text.append(buffer, n);
        std::fclose(f);
    }
    return text;
}

// Starts the tool; `stdioFd` >= 0 becomes its standard input and output.
pid_t spawnTool(const std::vector<std::string> &args, const zvtest::TempDir &dir, int stdioFd = -1) {
    const std::string outPath = dir.file("out.txt"), errPath = dir.file("err.txt");
    const pid_t pid = fork();
    if (pid == 0) {
        const int out = open(outPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        const int err = open(errPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        if (stdioFd >= 0) {
            dup2(stdioFd, 0);
            dup2(stdioFd, 1);
        } else {
            const int null = open("/dev/null", O_RDONLY);
            dup2(null, 0);
            dup2(out, 1);
        }
        dup2(err, 2);
        std::vector<char *> argv;
        argv.push_back(const_cast<char *>(kTool.c_str()));
        for (const std::string &a : args) argv.push_back(const_cast<char *>(a.c_str()));
        argv.push_back(nullptr);
        execv(kTool.c_str(), argv.data());
        _exit(127);
    }
    return pid;
}

ToolResult finish(pid_t pid, const zvtest::TempDir &dir) {
    ToolResult result;
    int raw = 0;
    waitpid(pid, &raw, 0);
    result.status = WIFEXITED(raw) ? WEXITSTATUS(raw) : -1;
    result.out = readText(dir.file("out.txt"));
    result.err = readText(dir.file("err.txt"));
    return result;
}

// A printer behind a pseudo-terminal: the tool opens the terminal's path.
struct PtyPrinter {
    int master = -1;
    std::string path;
    PtyPrinter() {
        master = posix_openpt(O_RDWR | O_NOCTTY);
        if (master < 0 || grantpt(master) != 0 || unlockpt(master) != 0) return;
        path = ptsname(master);
    }
    ~PtyPrinter() {
        if (master >= 0) close(master);
    }
};

struct PeerRun {
    ToolResult tool;
    Request request;
};

// The tool on a pseudo-terminal with `options` and `command` words, the
// printer answering with `answer`.
PeerRun runOnPty(const std::vector<std::string> &words, const Answer &answer, bool closeAfter = false) {
    zvtest::TempDir dir;
    PtyPrinter printer;
    EXPECT_FALSE(printer.path.empty());
    // Options may stand anywhere; a later --timeout wins over this one.
    std::vector<std::string> args = {"--timeout", "2", printer.path};
    args.insert(args.end(), words.begin(), words.end());
    const pid_t pid = spawnTool(args, dir);
    PeerRun run;
    run.request = readRequest(printer.master, 5000);
    play(printer.master, run.request, answer);
    if (closeAfter) {
        close(printer.master);
        printer.master = -1;
    }
    run.tool = finish(pid, dir);
    return run;
}

Answer reply(uint8_t head, uint8_t group, uint8_t command, std::vector<uint8_t> payload) {
    return [=](const Request &) { return std::vector<Chunk>{{0, replyFrame(28, head, group, command, payload)}}; };
}

std::vector<uint8_t> cat(std::vector<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto &p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}

}  // namespace

TEST(ZvprinterTest, CommandsOverATerminalDevice) {
    struct Case {
        std::vector<std::string> words;
        uint8_t group, command;
        const char *requestPayload;
        Answer answer;
        const char *out;
    };
    const std::vector<Case> cases = {
        {{"battery"},
         1,
         14,
         "",
         reply(0x21, 1, 14, cat({tlvItem(1, hexBytes("9A 01")), tlvItem(2, hexBytes("55 03")), tlvItem(3, {1})})),
         "{\n\t\"batteryVoltage\":\t\"4.10\",\n\t\"batteryPercent\":\t\"85.3\",\n\t\"batteryState\":\t\"1\"\n}\n"},
        {{"--text", "battery"},
         1,
         14,
         "",
         reply(0x21, 1, 14, tlvItem(2, hexBytes("E8 03"))),
         "batteryPercent: 100.0\n"},
        {{"--text", "status"},
         1,
         19,
         "",
         reply(0x21, 1, 19, cat({tlvItem(1, hexBytes("03 00")), tlvItem(2, {0})})),
         "printStatus: 3 (Lid Opened; Lack Paper), batteryPowerStatus: 0\n"},
        {{"--text", "status"}, 1, 19, "", reply(0x21, 1, 19, tlvItem(1, {0})), "printStatus: 0 (Ready)\n"},
        {{"--text", "name"}, 1, 8, "", reply(0x21, 1, 8, textBytes("ZV-P1")), "devName: ZV-P1\n"},
        {{"--text", "firmware"}, 1, 11, "", reply(0x21, 1, 11, textBytes("1.0.7")), "firmware: 1.0.7\n"},
        {{"--text", "darkness"},
         5,
         3,
         "",
         reply(0x21, 5, 3, hexBytes("07 08")),
         "coarseDarkness: 7, fineDarkness: 8\n"},
        {{"darkness", "9"}, 5, 4, "00 09 00", reply(0x21, 5, 4, {}), "{}\n"},
        {{"--text", "darkness", "20,8"}, 5, 4, "03 0F 08", reply(0x21, 5, 4, {}), "ok\n"},
        {{"--text", "speed"}, 5, 6, "", reply(0x21, 5, 6, {4}), "printSpeed: 4\n"},
        {{"speed", "3"}, 5, 7, "03", reply(0x21, 5, 7, {}), "{}\n"},
        {{"--text", "paper-type"},
         5,
         16,
         "",
         reply(0x21, 5, 16, hexBytes("01 2C 01")),
         "paperType: 1, paperLength: 30.0\n"},
        {{"paper-type", "2"}, 5, 17, "02", reply(0x21, 5, 17, {}), "{}\n"},
        {{"--text", "shutdown-time", "300"}, 1, 13, "2C 01", reply(0x21, 1, 13, {}), "ok\n"},
        {{"--text", "bt-name", "Shop-7"}, 4, 2, "53 68 6F 70 2D 37", reply(0x21, 4, 2, {}), "ok\n"},
        {{"--text", "wifi", "home", "pw"},
         3,
         2,
         "01 04 00 68 6F 6D 65 02 02 00 70 77 00",
         reply(0x21, 3, 2, {}),
         "ok\n"},
        // Bytes a terminal in its normal mode would eat or turn: CR, ^C, XON,
        // XOFF, DEL; the tool puts the terminal into raw mode.
        {{"--text", "ink"},
         9,
         1,
         "",
         reply(0x21, 9, 1, tlvItem(4, hexBytes("0D 03 11 13"))),
         "inkCartridgeID: 1311030D\n"},
        {{"--text", "label-learn"},
         5,
         18,
         "",
         reply(0x21, 5, 18, hexBytes("01 00 00 F4 01")),
         "paperLearnState: 1, paperType: 0, paperHaveCarbonRibbon: 0, paperHeight: 50.0\n"},
    };
    for (const Case &c : cases) {
        std::string name;
        for (const std::string &w : c.words) name += w + " ";
        SCOPED_TRACE(name);
        const PeerRun run = runOnPty(c.words, c.answer);
        ASSERT_TRUE(run.request.complete) << zvtest::toHex(run.request.bytes);
        EXPECT_EQ(run.request.group, c.group);
        EXPECT_EQ(run.request.command, c.command);
        EXPECT_EQ(zvtest::toHex(run.request.payload), zvtest::toHex(hexBytes(c.requestPayload)));
        EXPECT_EQ(run.tool.status, 0) << run.tool.err;
        EXPECT_EQ(run.tool.out, c.out);
        EXPECT_EQ(run.tool.err, "");
    }
}

TEST(ZvprinterTest, PrintersThatMisbehave) {
    const std::vector<uint8_t> good = replyFrame(28, 0x21, 1, 14, tlvItem(3, {2}));
    std::vector<uint8_t> badCrc = good;
    badCrc[badCrc.size() - 2] ^= 0x40;
    struct Case {
        const char *name;
        Answer answer;
        int status;
        const char *err;  // the start of the one line on standard error
        const char *out;
    };
    const std::vector<Case> cases = {
        {"noise before the reply, then a notice",
         [&](const Request &) {
             return std::vector<Chunk>{
                 {0, hexBytes("00 FF 55 A3 00 13")}, {50, replyFrame(28, 0x10, 4, 12, {1})}, {0, good}};
         },
         0, "", "batteryState: 2\n"},
        {"late but in time",
         [&](const Request &) {
             return std::vector<Chunk>{{600, good}};
         },
         0, "", "batteryState: 2\n"},
        {"split into single bytes",
         [&](const Request &) {
             std::vector<Chunk> chunks;
             for (uint8_t b : good) chunks.push_back({2, {b}});
             return chunks;
         },
         0, "", "batteryState: 2\n"},
        {"silent", nullptr, 1, "zvprinter: no reply from ", ""},
        {"garbage only",
         [](const Request &) {
             return std::vector<Chunk>{{0, hexBytes("01 02 03 04 05 06 07")}};
         },
         1, "zvprinter: no reply from ", ""},
        {"stops mid-frame",
         [&](const Request &) {
             return std::vector<Chunk>{{0, std::vector<uint8_t>(good.begin(), good.begin() + 9)}};
         },
         1, "zvprinter: the reply from ", ""},
        {"bad CRC",
         [&](const Request &) {
             return std::vector<Chunk>{{0, badCrc}};
         },
         1, "zvprinter: the reply from ", ""},
        {"reply of another command", reply(0x21, 5, 6, {3}), 1, "zvprinter: ", ""},
        {"refused", reply(0x10, 1, 14, tlvItem(3, {2})), 1, "zvprinter: the printer refused battery", ""},
        {"malformed TLV", reply(0x21, 1, 14, hexBytes("03 09 00 01")), 1, "zvprinter: the printer refused battery", ""},
        {"body too long",
         [](const Request &) {
             return std::vector<Chunk>{{0, hexBytes("A3 1E 1C 00 FF 7F")}};
         },
         1, "zvprinter: the reply from ", ""},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        const PeerRun run = runOnPty({"--text", "battery"}, c.answer);
        EXPECT_EQ(run.tool.status, c.status) << run.tool.err;
        EXPECT_EQ(run.tool.out, c.out);
        EXPECT_EQ(run.tool.err.rfind(c.err, 0), 0u) << run.tool.err;
        if (c.status != 0) {
            EXPECT_EQ(std::count(run.tool.err.begin(), run.tool.err.end(), '\n'), 1) << run.tool.err;
        }
    }
    // The messages name what went wrong.
    EXPECT_NE(runOnPty({"battery"},
                       [&](const Request &) {
                           return std::vector<Chunk>{{0, badCrc}};
                       })
                  .tool.err.find("bad CRC"),
              std::string::npos);
    EXPECT_NE(runOnPty({"battery"},
                       [&](const Request &) {
                           return std::vector<Chunk>{{0, std::vector<uint8_t>(good.begin(), good.begin() + 9)}};
                       })
                  .tool.err.find("stopped in the middle of a frame"),
              std::string::npos);
    EXPECT_NE(runOnPty({"battery"}, reply(0x21, 5, 6, {3})).tool.err.find("another command (group 5 command 6"),
              std::string::npos);
}

TEST(ZvprinterTest, AnswerAfterTheTimeoutIsNoReply) {
    const PeerRun run = runOnPty({"--timeout", "0.4", "battery"}, [](const Request &) {
        return std::vector<Chunk>{{1200, replyFrame(28, 0x21, 1, 14, tlvItem(3, {2}))}};
    });
    EXPECT_EQ(run.tool.status, 1);
    EXPECT_NE(run.tool.err.find("no reply from"), std::string::npos) << run.tool.err;
    EXPECT_NE(run.tool.err.find("within 0.4 s"), std::string::npos) << run.tool.err;
}

TEST(ZvprinterTest, EncryptingPrinterFromItsPpd) {
    zvtest::TempDir dir;
    const std::string ppd =
        zvtest::writePpd(dir.file("enc.ppd"), {"*ExtensionAttr PrinterSize: \"163.2\"",
                                               "*ZVAttr AESKey: \"00112233445566778899AABBCCDDEEFF\"",
                                               "*ZVAttr AESIV: \"0F0E0D0C0B0A09080706050403020100\""});
    zvtest::ReplyCipher cipher{};
    const std::vector<uint8_t> key = hexBytes("00112233445566778899AABBCCDDEEFF");
    const std::vector<uint8_t> iv = hexBytes("0F0E0D0C0B0A09080706050403020100");
    std::memcpy(cipher.key, key.data(), 16);
    std::memcpy(cipher.iv, iv.data(), 16);
    Request seen;
    const PeerRun run = runOnPty({"--ppd", ppd, "--text", "paper-type"}, [&](const Request &request) {
        seen = request;
        return std::vector<Chunk>{{0, replyFrame(163, 0x21, 5, 16, hexBytes("02 F4 01"), &cipher)}};
    });
    EXPECT_EQ(run.tool.status, 0) << run.tool.err;
    EXPECT_EQ(run.tool.out, "paperType: 2, paperLength: 50.0\n");
    // The request: short head, 16 cipher bytes that decrypt to the query 5/16.
    ASSERT_EQ(seen.bytes.size(), 24u);
    EXPECT_EQ(zvtest::toHex(std::vector<uint8_t>(seen.bytes.begin(), seen.bytes.begin() + 4)),
              zvtest::toHex(hexBytes("A3 20 10 00")));
    std::vector<uint8_t> body(seen.bytes.begin() + 4, seen.bytes.begin() + 20);
    AES_Init(cipher.key);
    AES_Decrypt(body.data(), body.data(), 16, cipher.iv);
    EXPECT_EQ(zvtest::toHex(std::vector<uint8_t>(body.begin(), body.begin() + 5)),
              zvtest::toHex(hexBytes("11 05 10 00 00")));
    // Under another key the reply is no answer.
    const PeerRun wrong =
        runOnPty({"--odm", "163", "--aes-key", "FFEEDDCCBBAA99887766554433221100", "--aes-iv",
                  "0F0E0D0C0B0A09080706050403020100", "paper-type"},
                 [&](const Request &) {
                     return std::vector<Chunk>{{0, replyFrame(163, 0x21, 5, 16, hexBytes("02 F4 01"), &cipher)}};
                 });
    EXPECT_EQ(wrong.tool.status, 1);
    EXPECT_EQ(wrong.tool.out, "");
}

TEST(ZvprinterTest, OverTcp) {
    const int listener = socket(AF_INET, SOCK_STREAM, 0);
    ASSERT_GE(listener, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(listener, reinterpret_cast<sockaddr *>(&address), sizeof address), 0);
    ASSERT_EQ(listen(listener, 1), 0);
    socklen_t length = sizeof address;
    getsockname(listener, reinterpret_cast<sockaddr *>(&address), &length);
    const std::string device = "tcp:127.0.0.1:" + std::to_string(ntohs(address.sin_port));

    zvtest::TempDir dir;
    pid_t pid = spawnTool({"--timeout", "3", "--text", device, "bt-name"}, dir);
    int peer = accept(listener, nullptr, nullptr);
    ASSERT_GE(peer, 0);
    const Request request = readRequest(peer, 3000);
    EXPECT_EQ(request.group, 4);
    EXPECT_EQ(request.command, 1);
    play(peer, request, reply(0x21, 4, 1, textBytes("ZV-BT")));
    ToolResult result = finish(pid, dir);
    close(peer);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "btName: ZV-BT\n");

    // A printer that hangs up without answering.
    pid = spawnTool({"--timeout", "3", device, "battery"}, dir);
    peer = accept(listener, nullptr, nullptr);
    readRequest(peer, 3000);
    close(peer);
    result = finish(pid, dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("zvprinter: " + device + " closed the connection without a reply", 0), 0u) << result.err;
    close(listener);

    // Nobody listens there any more.
    result = finish(spawnTool({"--timeout", "2", device, "battery"}, dir), dir);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err.rfind("zvprinter: cannot open " + device + ": ", 0), 0u) << result.err;
}

TEST(ZvprinterTest, StandardInputAndOutput) {
    int pair[2];
    ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM, 0, pair), 0);
    zvtest::TempDir dir;
    const pid_t pid = spawnTool({"--timeout", "3", "-", "firmware"}, dir, pair[1]);
    close(pair[1]);
    const Request request = readRequest(pair[0], 3000);
    EXPECT_EQ(request.group, 1);
    EXPECT_EQ(request.command, 11);
    play(pair[0], request, reply(0x21, 1, 11, textBytes("2.4.1")));
    const ToolResult result = finish(pid, dir);
    close(pair[0]);
    EXPECT_EQ(result.status, 0);
    // Standard output is the printer; the answer is on standard error.
    EXPECT_EQ(result.err, "{\n\t\"firmware\":\t\"2.4.1\"\n}\n");
}

TEST(ZvprinterTest, DryRunUsageAndDevices) {
    zvtest::TempDir dir;
    struct Case {
        std::vector<std::string> args;
        int status;
        const char *out;  // exact
        const char *err;  // start
    };
    const std::vector<Case> cases = {
        // The print-speed packet of the protocol's worked example.
        {{"--dry-run", "speed", "3"}, 0, "A3 1E 1C 00 06 00 11 05 07 01 00 03 C8 18 67 CB\n", ""},
        {{"--dry-run", "/dev/rfcomm0", "battery"}, 0, "A3 1E 1C 00 05 00 11 01 0E 00 00 0C A9 69 90\n", ""},
        {{"--dry-run", "--odm", "31", "battery"}, 0, nullptr, ""},
        {{"--dry-run", "paper-type", "3"}, 2, "", "zvprinter: paper-type does not take the value 3"},
        {{"--dry-run", "bt-name", std::string(33, 'x')}, 2, "", "zvprinter: bt-name does not take the value"},
        {{"--dry-run", "battery", "5"}, 2, "", "zvprinter: battery takes no value"},
        {{"--dry-run", "speed", "fast"}, 2, "", "zvprinter: speed takes a whole number"},
        {{"--dry-run", "wifi", "onlyname"}, 2, "", "zvprinter: wifi takes two values"},
        {{"--dry-run", "ink-clean"}, 2, "", "zvprinter: ink-clean needs a value"},
        {{"--dry-run", "--odm", "163", "battery"}, 2, "", "zvprinter: ODM type 163 encrypts every packet"},
        {{"/dev/null", "frobnicate"}, 2, "", "zvprinter: unknown command frobnicate"},
        {{"--colour", "x", "battery"}, 2, "", "zvprinter: unknown option --colour"},
        {{}, 2, "", "usage: zvprinter"},
        {{"/nonexistent/rfcomm9", "battery"}, 1, "", "zvprinter: cannot open /nonexistent/rfcomm9: "},
        {{"--ppd", "/nonexistent.ppd", "/dev/null", "battery", "x"}, 2, "", "zvprinter: battery takes no value"},
        {{"--ppd", "/nonexistent.ppd", "/dev/null", "battery"}, 1, "", "zvprinter: cannot read the PPD"},
    };
    for (const Case &c : cases) {
        std::string name;
        for (const std::string &a : c.args) name += a + " ";
        SCOPED_TRACE(name);
        const ToolResult r = finish(spawnTool(c.args, dir), dir);
        EXPECT_EQ(r.status, c.status) << r.err;
        if (c.out != nullptr) {
            EXPECT_EQ(r.out, c.out);
        }
        EXPECT_EQ(r.err.rfind(c.err, 0), 0u) << r.err;
    }
    // ODM type 31: its own ODM byte and the second CRC seed.
    const ToolResult odm31 = finish(spawnTool({"--dry-run", "--odm", "31", "battery"}, dir), dir);
    EXPECT_EQ(odm31.out.substr(0, 33), "A3 1E 1F 00 05 00 11 01 0E 00 00 ");
    EXPECT_NE(odm31.out, "A3 1E 1F 00 05 00 11 01 0E 00 00 0C A9 69 90\n");
    const ToolResult help = finish(spawnTool({"--help"}, dir), dir);
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("  battery "), std::string::npos);
    EXPECT_NE(help.out.find("tcp:HOST:PORT"), std::string::npos);
}

namespace {

// A request of the second framing: marks, length, code, data.
std::vector<uint8_t> readZVSZRequest(int fd, int timeoutMs) {
    std::vector<uint8_t> bytes;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        if (bytes.size() >= 8) {
            const size_t total =
                8 + (bytes[4] | bytes[5] << 8 | bytes[6] << 16 | static_cast<size_t>(bytes[7]) << 24) + 4;
            if (bytes.size() >= total) return bytes;
        }
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        pollfd p{fd, POLLIN, 0};
        if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) <= 0) return bytes;
        uint8_t buffer[256];
        const ssize_t n = read(fd, buffer, sizeof buffer);
        if (n <= 0) return bytes;
        bytes.insert(bytes.end(), buffer, buffer + n);
    }
}

std::vector<uint8_t> zvszReply(uint8_t code, uint8_t status, const std::vector<uint8_t> &payload) {
    std::vector<uint8_t> frame = hexBytes("19 73 10 19");
    zvtest::appendLe32(frame, static_cast<uint32_t>(payload.size()) + 4);
    frame.insert(frame.end(), {code, 0, 0, status});
    frame.insert(frame.end(), payload.begin(), payload.end());
    const std::vector<uint8_t> tail = hexBytes("19 79 04 02");
    frame.insert(frame.end(), tail.begin(), tail.end());
    return frame;
}

std::vector<uint8_t> zText(const std::string &text) {
    std::vector<uint8_t> bytes(text.begin(), text.end());
    bytes.push_back(0);
    return bytes;
}

}  // namespace

TEST(ZvprinterTest, SecondFramingOverATerminalDevice) {
    struct Case {
        const char *name;
        std::vector<std::string> words;
        const char *request;  // hexadecimal, the random byte as 00
        std::vector<uint8_t> answer;
        int status;
        const char *out;
        const char *err;  // start
    };
    const std::vector<uint8_t> info =
        cat({{0}, zText("ok"), zText("ZV-S1"), zText("S123"), {1}, zText("home"), zText("10.0.0.7")});
    const std::vector<Case> cases = {
        {"info",
         {"--zvsz", "--text", "info"},
         "19 73 10 19 04 00 00 00 02 00 00 00 19 79 04 02",
         zvszReply(2, 1, info),
         0,
         "code: 0, msg: ok, printerModel: ZV-S1, sn: S123, isSetWiFi: 1, ssid: home, ip: 10.0.0.7\n",
         ""},
        {"wifi",
         {"--zvsz", "wifi", "net", "pw"},
         "19 73 10 19 0B 00 00 00 04 00 00 00 6E 65 74 00 70 77 00 19 79 04 02",
         zvszReply(4, 1, cat({{0}, zText("joined"), zText("10.0.0.8")})),
         0,
         "{\n\t\"code\":\t\"0\",\n\t\"msg\":\t\"joined\",\n\t\"ip\":\t\"10.0.0.8\"\n}\n",
         ""},
        {"refused",
         {"--zvsz", "info"},
         "19 73 10 19 04 00 00 00 02 00 00 00 19 79 04 02",
         zvszReply(2, 0, info),
         1,
         "",
         "zvprinter: the printer refused info"},
        {"bytes left over",
         {"--zvsz", "info"},
         "19 73 10 19 04 00 00 00 02 00 00 00 19 79 04 02",
         zvszReply(2, 1, cat({info, {7}})),
         1,
         "",
         "zvprinter: the printer refused info"},
        {"another code",
         {"--zvsz", "info"},
         "19 73 10 19 04 00 00 00 02 00 00 00 19 79 04 02",
         zvszReply(4, 1, cat({{0}, zText("m"), zText("ip")})),
         1,
         "",
         "zvprinter: "},
        {"stops mid-frame",
         {"--zvsz", "info"},
         "19 73 10 19 04 00 00 00 02 00 00 00 19 79 04 02",
         hexBytes("19 73 10 19 20 00 00 00 02 00"),
         1,
         "",
         "zvprinter: the reply from "},
    };
    for (const Case &c : cases) {
        SCOPED_TRACE(c.name);
        zvtest::TempDir dir;
        PtyPrinter printer;
        std::vector<std::string> args = {"--timeout", "2", printer.path};
        args.insert(args.end(), c.words.begin(), c.words.end());
        const pid_t pid = spawnTool(args, dir);
        std::vector<uint8_t> request = readZVSZRequest(printer.master, 5000);
        if (request.size() > 10) request[10] = 0;
        EXPECT_EQ(zvtest::toHex(request), zvtest::toHex(hexBytes(c.request)));
        play(printer.master, Request{}, [&](const Request &) { return std::vector<Chunk>{{0, c.answer}}; });
        const ToolResult result = finish(pid, dir);
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_EQ(result.out, c.out);
        EXPECT_EQ(result.err.rfind(c.err, 0), 0u) << result.err;
    }
}

TEST(ZvprinterTest, FileDownloadPartByPart) {
    zvtest::TempDir dir;
    const std::string file = dir.file("fw.bin");
    {
        FILE *f = std::fopen(file.c_str(), "wb");
        ASSERT_NE(f, nullptr);
        std::fputs("0123456789", f);
        std::fclose(f);
    }
    // The printer answers every packet; `refusePart` > 0 refuses that part.
    auto download = [&](int refusePart, std::vector<Request> &seen) {
        PtyPrinter printer;
        const pid_t pid = spawnTool(
            {"--timeout", "2", "--text", "--part-size", "4", printer.path, "download", "1", file, "fw.bin"}, dir);
        for (int part = 0;;) {
            const Request request = readRequest(printer.master, 3000);
            if (!request.complete) break;
            seen.push_back(request);
            std::vector<uint8_t> code = hexBytes("01 00");
            if (request.command == 3 && ++part == refusePart) code = hexBytes("09 00");
            play(printer.master, request,
                 reply(0x21, 2, request.command, request.command == 2 ? std::vector<uint8_t>{} : code));
            if (request.command == 2 || (refusePart > 0 && part == refusePart)) break;
        }
        return finish(pid, dir);
    };
    std::vector<Request> seen;
    ToolResult result = download(0, seen);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "downFileState: 3, downFileProgress: 1.000\n");
    ASSERT_EQ(seen.size(), 5u);
    EXPECT_EQ(seen[0].command, 1);
    EXPECT_EQ(zvtest::toHex(seen[0].payload),
              zvtest::toHex(cat({hexBytes("01 02 00 01 00  02 04 00 0A 00 00 00  03 06 00"), textBytes("fw.bin")})));
    const char *parts[] = {"01 00 04 00 00 00 00 00 30 31 32 33", "02 00 04 00 04 00 00 00 34 35 36 37",
                           "03 00 02 00 08 00 00 00 38 39"};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(seen[1 + i].command, 3);
        EXPECT_EQ(zvtest::toHex(seen[1 + i].payload), zvtest::toHex(hexBytes(parts[i])));
    }
    EXPECT_EQ(seen[4].command, 2);

    seen.clear();
    result = download(2, seen);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err,
              "zvprinter: the printer stopped the download at part 2: downFileState: 9, downFileProgress: 0.800\n");
    EXPECT_EQ(seen.size(), 3u);
}

TEST(ZvprinterTest, EndlessNoiseEndsAtTheTimeout) {
    // A device that always has bytes to read and never a reply (/dev/zero
    // takes the request and answers zeros without end): the tool must still
    // give up when its time is over.
    zvtest::TempDir dir;
    const pid_t pid = spawnTool({"--timeout", "0.5", "/dev/zero", "battery"}, dir);
    bool exited = false;
    int raw = 0;
    const auto giveUp = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!exited && std::chrono::steady_clock::now() < giveUp) {
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        exited = waitpid(pid, &raw, WNOHANG) == pid;
    }
    if (!exited) {
        kill(pid, SIGKILL);
        waitpid(pid, &raw, 0);
        FAIL() << "zvprinter kept reading past its timeout";
    }
    EXPECT_TRUE(WIFEXITED(raw));
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    const std::string err = readText(dir.file("err.txt"));
    EXPECT_EQ(err.rfind("zvprinter: no reply from /dev/zero within 0.5 s (", 0), 0u) << err;
}
