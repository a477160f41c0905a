// zvprintapp: an IPP Everywhere printer application for every printer the
// rastertozorvan filter drives. Phones, tablets and current desktops print to
// it without a driver; it turns their raster or image jobs into the printer's
// own language with the filter's encoders.
#include <pappl/pappl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "printapp/driver.h"
#include "printapp/families.h"
#include "printapp/serial_device.h"

namespace {

constexpr const char *kName = "zvprintapp";
constexpr const char *kVersion = "0.1.0";
constexpr int kDefaultPort = 8631;

// The state file: printers, their defaults and the system settings, saved on
// every change and read at start.
std::string gStateFile;

const char *option(const char *name, int numOptions, cups_option_t *options) {
    return cupsGetOption(name, numOptions, options);
}

pappl_loglevel_t logLevel(const char *text) {
    if (text == nullptr) return PAPPL_LOGLEVEL_WARN;
    if (!std::strcmp(text, "debug")) return PAPPL_LOGLEVEL_DEBUG;
    if (!std::strcmp(text, "info")) return PAPPL_LOGLEVEL_INFO;
    if (!std::strcmp(text, "error")) return PAPPL_LOGLEVEL_ERROR;
    if (!std::strcmp(text, "fatal")) return PAPPL_LOGLEVEL_FATAL;
    return PAPPL_LOGLEVEL_WARN;
}

std::string defaultStateDirectory() {
    if (getuid() == 0) return "/var/lib/zvprintapp";
    if (const char *home = std::getenv("HOME")) return std::string(home) + "/.config";
    return "/tmp";
}

// PAPPL 1.3 can deadlock when it saves its state while one job prints as it
// arrives and another is being spooled (the save and the spooling take the
// system and printer locks in opposite orders). The state is therefore
// saved only when no job has printed for a moment; a save put off is made on
// a later pass of PAPPL's main loop.
bool saveState(pappl_system_t *system, void *data) {
    if (zvapp::jobsRecentlyActive()) return false;
    return papplSystemSaveState(system, static_cast<const char *>(data));
}

pappl_system_t *systemCallback(int numOptions, cups_option_t *options, void *) {
    const char *portText = option("server-port", numOptions, options);
    const int port = portText != nullptr ? std::atoi(portText) : kDefaultPort;
    const char *spool = option("spool-directory", numOptions, options);
    const char *logFile = option("log-file", numOptions, options);
    const char *authService = option("auth-service", numOptions, options);
    // Loopback only unless the administrator names an address to listen on:
    // a print server on every interface is a decision, not a default.
    const char *listen = option("listen-hostname", numOptions, options);
    if (listen == nullptr) listen = "localhost";
    const char *stateFile = option("state-file", numOptions, options);
    gStateFile = stateFile != nullptr ? stateFile : defaultStateDirectory() + "/zvprintapp.state";

    pappl_soptions_t soptions = PAPPL_SOPTIONS_MULTI_QUEUE | PAPPL_SOPTIONS_WEB_INTERFACE | PAPPL_SOPTIONS_WEB_LOG |
                                PAPPL_SOPTIONS_WEB_SECURITY;
    if (const char *tls = option("tls", numOptions, options); tls == nullptr || std::strcmp(tls, "yes") != 0)
        soptions |= PAPPL_SOPTIONS_NO_TLS;

    pappl_system_t *system =
        papplSystemCreate(soptions, kName, port, "_print,_universal", spool, logFile != nullptr ? logFile : "-",
                          logLevel(option("log-level", numOptions, options)), authService, false);
    if (system == nullptr) return nullptr;
    // "*": every address of the machine, for phones and other computers.
    if (!papplSystemAddListeners(system, std::strcmp(listen, "*") == 0 ? nullptr : listen)) {
        std::fprintf(stderr, "%s: unable to listen on %s:%d\n", kName, listen, port);
        papplSystemDelete(system);
        return nullptr;
    }
    std::vector<pappl_pr_driver_t> &drivers = zvapp::papplDrivers();
    papplSystemSetPrinterDrivers(system, static_cast<int>(drivers.size()), drivers.data(), zvapp::autoAddCallback,
                                 nullptr, zvapp::driverCallback, nullptr);
    papplSystemSetFooterHTML(system, "Zorvan printer application: label, receipt and protocol printers.");
    papplSystemSetSaveCallback(system, saveState, const_cast<char *>(gStateFile.c_str()));
    pappl_version_t version{};
    std::snprintf(version.name, sizeof version.name, "%s", kName);
    std::snprintf(version.sversion, sizeof version.sversion, "%s", kVersion);
    version.version[0] = 0;
    version.version[1] = 1;
    papplSystemSetVersions(system, 1, &version);
    static const std::string strings = zvapp::webStrings();
    papplSystemAddStringsData(system, "/zvprintapp-en.strings", "en", strings.c_str());
    papplSystemLoadState(system, gStateFile.c_str());
    return system;
}

void usage(void *) {
    std::puts("Options for the server: -o server-port=PORT (default 8631), -o listen-hostname=HOST (default");
    std::puts("localhost; * for every address), -o state-file=FILE, -o spool-directory=DIR, -o log-file=FILE, -o log-level=LEVEL,");
    std::puts("-o auth-service=PAM-SERVICE (asks for a login before settings change), -o tls=yes.");
}

}  // namespace

int main(int argc, char *argv[]) {
    zvapp::addSerialDeviceScheme();
    std::vector<pappl_pr_driver_t> &drivers = zvapp::papplDrivers();
    return papplMainloop(argc, argv, kVersion, nullptr, static_cast<int>(drivers.size()), drivers.data(),
                         zvapp::autoAddCallback, zvapp::driverCallback, nullptr, nullptr, systemCallback, usage,
                         nullptr);
}
