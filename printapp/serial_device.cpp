#include "printapp/serial_device.h"

#include <dirent.h>
#include <fcntl.h>
#include <poll.h>
#include <pappl/pappl.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zvapp {
namespace {

constexpr const char *kScheme = "zvserial";

struct SerialLine {
    int fd = -1;
};

speed_t speedFor(int baud) {
    switch (baud) {
        case 9600:
            return B9600;
        case 19200:
            return B19200;
        case 38400:
            return B38400;
        case 57600:
            return B57600;
        case 230400:
            return B230400;
        case 460800:
            return B460800;
        case 921600:
            return B921600;
        default:
            return B115200;
    }
}

bool listSerial(pappl_device_cb_t cb, void *data, pappl_deverror_cb_t, void *) {
    std::unique_ptr<DIR, int (*)(DIR *)> dir(opendir("/dev"), closedir);
    if (!dir) return false;
    while (dirent *entry = readdir(dir.get())) {
        const char *name = entry->d_name;
        if (std::strncmp(name, "rfcomm", 6) != 0 && std::strncmp(name, "ttyUSB", 6) != 0 &&
            std::strncmp(name, "ttyACM", 6) != 0)
            continue;
        const std::string uri = std::string(kScheme) + ":///dev/" + name + "?baud=115200";
        const std::string info = std::string("Serial or Bluetooth printer on /dev/") + name;
        if (cb(info.c_str(), uri.c_str(), "", data)) return true;
    }
    return false;
}

bool openSerial(pappl_device_t *device, const char *deviceUri, const char *) {
    std::string path;
    int baud = 0;
    if (!parseSerialUri(deviceUri, &path, &baud)) {
        papplDeviceError(device, "Not a serial device URI: %s", deviceUri);
        return false;
    }
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0) {
        papplDeviceError(device, "Unable to open %s: %s", path.c_str(), std::strerror(errno));
        return false;
    }
    // Raw 8N1 at the given speed; an RFCOMM node takes the settings and
    // ignores the speed.
    termios line{};
    if (tcgetattr(fd, &line) == 0) {
        cfmakeraw(&line);
        cfsetispeed(&line, speedFor(baud));
        cfsetospeed(&line, speedFor(baud));
        line.c_cflag |= CLOCAL | CREAD;
        tcsetattr(fd, TCSANOW, &line);
    }
    auto serial = std::make_unique<SerialLine>();
    serial->fd = fd;
    papplDeviceSetData(device, serial.release());
    return true;
}

void closeSerial(pappl_device_t *device) {
    std::unique_ptr<SerialLine> serial(static_cast<SerialLine *>(papplDeviceGetData(device)));
    papplDeviceSetData(device, nullptr);
    if (serial && serial->fd >= 0) {
        tcdrain(serial->fd);
        ::close(serial->fd);
    }
}

ssize_t readSerial(pappl_device_t *device, void *buffer, size_t bytes) {
    auto *serial = static_cast<SerialLine *>(papplDeviceGetData(device));
    if (serial == nullptr) return -1;
    // Replies are short and come soon or not at all.
    pollfd ready{serial->fd, POLLIN, 0};
    if (poll(&ready, 1, 400) <= 0) return 0;
    return ::read(serial->fd, buffer, bytes);
}

ssize_t writeSerial(pappl_device_t *device, const void *buffer, size_t bytes) {
    auto *serial = static_cast<SerialLine *>(papplDeviceGetData(device));
    if (serial == nullptr) return -1;
    const auto *next = static_cast<const unsigned char *>(buffer);
    size_t left = bytes;
    while (left > 0) {
        const ssize_t written = ::write(serial->fd, next, left);
        if (written < 0) {
            if (errno == EINTR || errno == EAGAIN) continue;
            papplDeviceError(device, "Unable to write to the printer: %s", std::strerror(errno));
            return -1;
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
    return static_cast<ssize_t>(bytes);
}

}  // namespace

bool parseSerialUri(const std::string &uri, std::string *path, int *baud) {
    const std::string prefix = std::string(kScheme) + "://";
    if (uri.compare(0, prefix.size(), prefix) != 0) return false;
    std::string rest = uri.substr(prefix.size());
    *baud = 115200;
    const size_t query = rest.find('?');
    if (query != std::string::npos) {
        const std::string options = rest.substr(query + 1);
        rest.resize(query);
        const size_t at = options.find("baud=");
        if (at != std::string::npos) *baud = std::atoi(options.c_str() + at + 5);
    }
    // Only device nodes: a URI from the network must not name any other file.
    if (rest.compare(0, 5, "/dev/") != 0 || rest.find("..") != std::string::npos) return false;
    *path = rest;
    return true;
}

bool serialUriIsBluetooth(const std::string &uri) {
    std::string path;
    int baud = 0;
    if (!parseSerialUri(uri, &path, &baud)) return false;
    const size_t query = uri.find('?');
    const bool flagged = query != std::string::npos && (uri.find("bluetooth=1", query) != std::string::npos ||
                                                        uri.find("bluetooth=yes", query) != std::string::npos);
    return flagged || path.compare(0, 11, "/dev/rfcomm") == 0;
}

void addSerialDeviceScheme() {
    // PAPPL registers its own schemes (usb, socket, file, ...) the first time
    // its device list is used, but only if no scheme is registered yet: list
    // the cheapest kind first so that ours is added beside them, not instead.
    papplDeviceList(PAPPL_DEVTYPE_FILE, [](const char *, const char *, const char *, void *) { return true; }, nullptr,
                    nullptr, nullptr);
    papplDeviceAddScheme(kScheme, PAPPL_DEVTYPE_CUSTOM_LOCAL, listSerial, openSerial, closeSerial, readSerial,
                         writeSerial, nullptr, nullptr);
}

}  // namespace zvapp
