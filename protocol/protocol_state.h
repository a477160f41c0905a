// Process-wide state of the packet protocol: the ODM printer type chosen for
// the job and the package-size limits set per page by the print driver.
#ifndef ZV_PROTOCOL_PROTOCOL_STATE_H
#define ZV_PROTOCOL_PROTOCOL_STATE_H

#include <cstdint>

void setODMType(uint32_t type);
void setODMPrinterType(uint32_t type);
uint32_t getODMPrinterType();

#endif
