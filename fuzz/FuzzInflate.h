// Inflating a raw Deflate stream for the fuzz targets, with zlib as the reference reader.
#pragma once

#include <cstdlib>
#include <string>
#include <zlib.h>

// True when `raw` is exactly one valid stream, ending at its last byte; `out` gets what it
// inflated to (as far as it went).
inline bool InflateRaw(const std::string& raw, std::string& out) {
  z_stream z{};
  if (inflateInit2(&z, -15) != Z_OK) std::abort();
  char buf[16384];
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(raw.data()));
  z.avail_in = static_cast<uInt>(raw.size());
  int rc;
  do {
    z.next_out = reinterpret_cast<Bytef*>(buf);
    z.avail_out = sizeof buf;
    rc = inflate(&z, Z_NO_FLUSH);
    out.append(buf, sizeof buf - z.avail_out);
  } while (rc == Z_OK);
  inflateEnd(&z);
  return rc == Z_STREAM_END && z.avail_in == 0;
}
