#include "tests/support/ppd_fixture.h"

#include "tests/support/temp_dir.h"

namespace zvtest {

std::string makePpd(const std::vector<std::string> &lines) {
    std::string text =
        "*PPD-Adobe: \"4.3\"\n"
        "*FormatVersion: \"4.3\"\n"
        "*FileVersion: \"1.0\"\n"
        "*LanguageVersion: English\n"
        "*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"ZVTEST.PPD\"\n"
        "*Manufacturer: \"Test\"\n"
        "*Product: \"(Test)\"\n"
        "*ModelName: \"Test Printer\"\n"
        "*ShortNickName: \"Test Printer\"\n"
        "*NickName: \"Test Printer\"\n"
        "*PSVersion: \"(3010.000) 0\"\n"
        "*cupsVersion: 2.4\n"
        "*cupsModelNumber: 7\n"
        "*cupsFilter2: \"application/vnd.cups-raster application/vnd.cups-raster 0 rastertozorvan\"\n";
    for (const std::string &line : lines) text += line + "\n";
    return text;
}

std::string writePpd(const std::string &path, const std::vector<std::string> &lines) {
    writeFileText(path, makePpd(lines));
    return path;
}

std::vector<std::string> modelPpdLines(const std::string &model, int dpi) {
    return {
        "*DefaultResolution: " + std::to_string(dpi) + "dpi",
        "*ZVAttr PrinterModel: \"" + model + "\"",
    };
}

}  // namespace zvtest
