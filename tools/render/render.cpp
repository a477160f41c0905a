#include "tools/render/render.h"

#include <new>

#include "tools/render/stream.h"

namespace zvrender {
namespace {

// Every language zvrender reads, in the order of the --format names. A new
// reader is a file under tools/render/ with its Language row, and a line here.
const Language *const kLanguages[] = {&kTsplLanguage, &kTwoColorTsplLanguage, &kZplLanguage,     &kSfZplLanguage,
                                      &kCpclLanguage, &kEscPosLanguage,       &kProtocolLanguage};

const Language *languageOf(Format format) {
    for (const Language *language : kLanguages)
        if (language->format == format) return language;
    return nullptr;
}

}  // namespace

std::string RenderResult::message() const { return "offset " + std::to_string(errorOffset) + ": " + error; }

Format detectFormat(const uint8_t *data, size_t size) {
    if (size == 0) return Format::Auto;
    const Cursor start(data, size);
    for (const Language *language : kLanguages)
        if (language->announces != nullptr && language->announces(start)) return language->format;
    return Format::Auto;
}

RenderResult renderStream(const uint8_t *data, size_t size, Format format, const RenderOptions &options) {
    RenderResult result;
    try {
        Format f = format;
        if (f == Format::Auto) {
            f = detectFormat(data, size);
            if (f == Format::Auto)
                fault(0, size == 0 ? "empty stream: the format cannot be told (name it)"
                                   : "the first bytes belong to no known printer language (name the format)");
        }
        const Language *language = languageOf(f);
        if (language == nullptr) fault(0, "no reader for this format");
        Cursor c(data, size);
        language->read(c, f, format != Format::Auto, options, result);
        result.ok = true;
    } catch (const StreamFault &f) {
        result.ok = false;
        result.errorOffset = f.offset;
        result.error = f.reason;
    } catch (const std::bad_alloc &) {
        result.ok = false;
        result.errorOffset = 0;
        result.error = "out of memory";
    }
    return result;
}

RenderResult renderStream(const std::vector<uint8_t> &data, Format format, const RenderOptions &options) {
    return renderStream(data.data(), data.size(), format, options);
}

const char *formatName(Format format) {
    if (format == Format::Auto) return "auto";
    const Language *language = languageOf(format);
    return language != nullptr ? language->name : "?";
}

bool parseFormatName(const std::string &name, Format &format) {
    if (name == "auto") {
        format = Format::Auto;
        return true;
    }
    for (const Language *language : kLanguages) {
        if (name == language->name) {
            format = language->format;
            return true;
        }
    }
    return false;
}

std::string formatNames() {
    std::string names;
    for (const Language *language : kLanguages) names += std::string(language->name) + "|";
    return names + "auto";
}

}  // namespace zvrender
