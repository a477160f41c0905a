// The floor of the whole-process comparison (bench/compare.sh): opens a CUPS
// raster stream exactly as the filter does and reads every row of every page,
// doing nothing with them. A filter can not be faster than this on the same
// stream; its time over this program's is what printing costs.
//
//   raster_floor [file]      (standard input without a file)
#include <cups/raster.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <vector>

int main(int argc, char **argv) {
    const int fd = argc > 1 ? ::open(argv[1], O_RDONLY) : STDIN_FILENO;
    if (fd < 0) {
        std::perror(argv[1]);
        return 1;
    }
    cups_raster_t *raster = cupsRasterOpen(fd, CUPS_RASTER_READ);
    if (raster == nullptr) return 1;
    cups_page_header2_t header;
    std::vector<unsigned char> row;
    unsigned pages = 0;
    unsigned long long checksum = 0;
    while (cupsRasterReadHeader2(raster, &header)) {
        if (header.cupsHeight == 0 || header.cupsBytesPerLine == 0) break;
        ++pages;
        row.resize(header.cupsBytesPerLine);
        for (unsigned y = 0; y < header.cupsHeight; ++y) {
            if (cupsRasterReadPixels(raster, row.data(), header.cupsBytesPerLine) == 0) break;
            checksum += row[y % row.size()];
        }
    }
    cupsRasterClose(raster);
    std::fprintf(stderr, "raster_floor: %u pages (%llu)\n", pages, checksum);
    return 0;
}
