#ifndef ZV_FILTER_FILTER_MAIN_H
#define ZV_FILTER_FILTER_MAIN_H

// The whole filter process: arguments, settings, page loop, diagnostics.
int rastertozorvan_main(int argc, char **argv);

// Log line that names the transport of a device URI.
const char *transportLogFormat(const char *uri);

#endif
