// zlib's inflate refers to crc32() for gzip streams only. The extractor
// opens zlib streams (inflateInit refuses gzip headers), so the function is
// never called; defining this small bitwise version here keeps zlib's 7 KiB
// of CRC tables out of the extractor. It is still a correct CRC-32.
#include <zlib.h>

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
    if (buf == Z_NULL) return 0;
    crc = ~crc & 0xffffffffUL;
    while (len--) {
        crc ^= *buf++;
        for (int k = 0; k < 8; k++) crc = (crc >> 1) ^ (0xedb88320UL & (0 - (crc & 1)));
    }
    return ~crc & 0xffffffffUL;
}
