// The Processing job option of the protocol printers: "Automatic" (0) keeps
// the route the print mode chooses; every other choice names one gray
// algorithm (the PrintSetting's grayType) for every page of the job.
#ifndef ZV_PROTOCOL_PRINT_PROCESSING_CHOICE_H
#define ZV_PROTOCOL_PRINT_PROCESSING_CHOICE_H

#include <cstdint>

#include "protocol_print/protocol_print.h"

// The route of a Processing value; false for Automatic and for any value the
// option does not offer (the print mode then decides).
bool processingRoute(int32_t processing, ProtocolRoute *route);

#endif
