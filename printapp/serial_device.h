// The device scheme of this application for printers on a serial line or a
// Bluetooth RFCOMM node ("zvserial:///dev/rfcomm0?baud=115200"), which many
// of the packet-protocol printers are reached through.
#ifndef ZV_PRINTAPP_SERIAL_DEVICE_H
#define ZV_PRINTAPP_SERIAL_DEVICE_H

#include <string>

namespace zvapp {

void addSerialDeviceScheme();

// The device node and line speed of a zvserial URI; false for another URI or
// a path outside /dev.
bool parseSerialUri(const std::string &uri, std::string *path, int *baud);

// Whether a zvserial URI reaches the printer over Bluetooth: an RFCOMM node,
// or "bluetooth=1" among its options. Protocol printers are then told so on
// every page, as the filter does for a PPD with BluetoothPrint.
bool serialUriIsBluetooth(const std::string &uri);

}  // namespace zvapp

#endif
