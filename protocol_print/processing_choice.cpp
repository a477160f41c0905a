#include "protocol_print/processing_choice.h"

#include <iterator>

namespace {

// Processing values in the order the PPDs offer them; 0 is Automatic.
constexpr ProtocolRoute kChoices[] = {
    {0, true},    // 1 sharp black and white: the plain threshold of print mode 0
    {6, false},   // 2 text and pictures (adaptive)
    {9, false},   // 3 photo (A4 preset, Atkinson)
    {61, false},  // 4 soft
    {62, false},  // 5 soft, dark
    {13, false},  // 6 small-label photo (step pipeline)
    {2, false},   // 7 classic halftone with diffusion
    {3, false},   // 8 classic halftone without diffusion
};

}  // namespace

bool processingRoute(int32_t processing, ProtocolRoute *route) {
    if (route == nullptr || processing < 1 || processing > static_cast<int32_t>(std::size(kChoices))) return false;
    *route = kChoices[processing - 1];
    return true;
}
