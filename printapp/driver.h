// The PAPPL side of the printer families: the driver callback that fills a
// printer's driver data from its family, and the raster callbacks that gather
// each page and hand it to the page code the CUPS filter uses.
#ifndef ZV_PRINTAPP_DRIVER_H
#define ZV_PRINTAPP_DRIVER_H

#include <pappl/pappl.h>

#include <vector>

namespace zvapp {

// One pappl_pr_driver_t per family, for papplSystemSetPrinterDrivers.
std::vector<pappl_pr_driver_t> &papplDrivers();

bool driverCallback(pappl_system_t *system, const char *driverName, const char *deviceUri, const char *deviceId,
                    pappl_pr_driver_data_t *data, ipp_t **attrs, void *context);

// The family for a printer found on USB or the network, by its IEEE 1284
// device ID (command set TSPL, ZPL, CPCL or ESC/POS); nullptr when unknown.
const char *autoAddCallback(const char *deviceInfo, const char *deviceUri, const char *deviceId, void *context);

// Whether a job has been printing in the last moment (any raster callback in
// the last second).
bool jobsRecentlyActive();

}  // namespace zvapp

#endif
