// Scaling a gray page onto the printable area of each packet-protocol model.
//
// Every model has its own page width in dots, fixed white margins and, for
// some, a fixed vertical factor that makes up for the way its paper feeds;
// the thirteen models' rules are one table in model_scaling.cpp. A model's
// page builder computes the page and the image box, scales the whole source
// page into the box with the bicubic interpolator of imaging/cubic_zoom.h
// keeping its aspect ratio, centres it on a white page and, for the mirrored
// models (4, 10, 11, 12), reverses every row.
//
// Bitmaps are 8-bit gray, 0 black, 255 white, one byte per pixel, rows top to
// bottom without padding. Returned bitmaps are malloc'ed and released by the
// caller with free().
#ifndef ZV_PROTOCOL_PRINT_MODEL_SCALING_H
#define ZV_PROTOCOL_PRINT_MODEL_SCALING_H

#include <cstdint>

// The page of protocol model `model` (0 to 12, the printer's DeviceType) by
// its model's rules; nullptr with both sizes 0 for any other model number.
uint8_t *driveBitmapZoomToModel(int32_t model, const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                uint32_t *outH);

// The size of the page driveBitmapZoomToModel would build for a srcW x srcH
// source, without building it (the page loop budgets a page's memory with
// it before reading the page). False, with both sizes 0, for a model number
// outside 0 to 12 or an empty source.
bool zvModelPageSize(int32_t model, uint32_t srcW, uint32_t srcH, uint32_t *pageW, uint32_t *pageH);

// True for the models that print mirrored pages (4, 10, 11 and 12: the tattoo
// printers and the M10), whose automatic print mode is the tattoo route.
bool isZVMirroredModel(int32_t model);

// Per-model page builders: scale the srcW x srcH page onto the model's page
// and return it, with its size in *outW and *outH. On an empty source or an
// allocation failure they return nullptr and set both sizes to 0.
// A page smaller than the model's margins is printed as far as it fits, with
// the warning "WARNING: page smaller than the printable margins".
uint8_t *driveBitmapZoomToLP40(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL40(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL50(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL40A(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL40S_Tattoo(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL50A(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL40S_Normal(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL10(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL20(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL10_Tattoo_XL(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                        uint32_t *outH);
uint8_t *driveBitmapZoomToM10(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW, uint32_t *outH);
uint8_t *driveBitmapZoomToL40S_Tattoo_Left(const uint8_t *src, uint32_t srcW, uint32_t srcH, uint32_t *outW,
                                           uint32_t *outH);

#endif
