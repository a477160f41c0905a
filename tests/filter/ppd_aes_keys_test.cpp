// The AES key and initial vector of the encrypting printers come from the PPD.
#include <gtest/gtest.h>

#include <cstdlib>

#include "core/debug_log.h"
#include "filter/settings_reader.h"
#include "protocol/protocol_state.h"
#include "tests/support/golden.h"
#include "tests/support/ppd_fixture.h"
#include "tests/support/temp_dir.h"

TEST(PpdAesKeysTest, KeyAndIvAreReadFromZVAttr) {
    zvtest::TempDir dir;
    zvtest::ScopedLogDir logDir(dir.path());
    struct Case {
        std::vector<std::string> lines;
        bool key, iv;
        std::string warning;
    };
    const Case cases[] = {
        {{"*ZVAttr AESKey: \"000102030405060708090a0b0c0d0e0f\"",
          "*ZVAttr AESIV: \"F0E0D0C0B0A090807060504030201000\""},
         true,
         true,
         ""},
        {{"*ZVAttr AESKey: \"0001\""}, false, false, "WARNING: The PPD's AESKey is not 32 hexadecimal digits"},
        {{}, false, false, ""},
    };
    for (const Case &c : cases) {
        resetProtocolState();
        const std::string ppd = zvtest::writePpd(dir.file("p.ppd"), c.lines);
        setenv("PPD", ppd.c_str(), 1);
        PrinterSettings settings{};
        testing::internal::CaptureStderr();
        set_pstops_with_ppd(&settings);
        const std::string err = testing::internal::GetCapturedStderr();
        EXPECT_EQ(hasAES128Key(), c.key);
        EXPECT_EQ(hasAES128IV(), c.iv);
        if (c.warning.empty())
            EXPECT_EQ(err.find("WARNING"), std::string::npos) << err;
        else
            EXPECT_NE(err.find(c.warning), std::string::npos) << err;
        if (c.key) {
            uint8_t key[16], iv[16];
            getAES128Key(key);
            getAES128IV(iv);
            EXPECT_EQ(zvtest::toHex(key, 16), zvtest::toHex(zvtest::hexBytes("000102030405060708090a0b0c0d0e0f")));
            EXPECT_EQ(zvtest::toHex(iv, 16), zvtest::toHex(zvtest::hexBytes("f0e0d0c0b0a090807060504030201000")));
        }
        closeDebugLog();
        const std::string log = zvtest::readFileText(dir.file("LxxLog.log"));
        EXPECT_EQ(log.find("0001"), std::string::npos) << "secrets must not reach the log";
        EXPECT_EQ(log.find("F0E0D0"), std::string::npos);
    }
    unsetenv("PPD");
    resetProtocolState();
}
