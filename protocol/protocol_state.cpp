#include "protocol/protocol_state.h"

namespace {
uint32_t gOdmPrinterType = 0;
}  // namespace

void setODMPrinterType(uint32_t type) { gOdmPrinterType = type; }
void setODMType(uint32_t type) { setODMPrinterType(type); }
uint32_t getODMPrinterType() { return gOdmPrinterType; }
