// What TZip's entry writing and its piece scheduling share: a collected entry and the size
// below which a file is deflated in memory first. Only the archive builder's own files use it.
#pragma once

#include "archive/UZip.h"
#include "archive/UfnZipHeaders.h"
#include "platform/UfnFiles.h"

#include <cstdint>
#include <string>

constexpr uint64_t SmallFileLimit = 257;

struct TZip::TEntry {
  std::string Name; // below the root, system delimiters; a folder's ends with one
  uint64_t Size = 0;
  uint32_t DosDateTime = 0;
  uint32_t Attributes = 0;
  uint32_t SpecLine = 0;
  // What its local header says, once it is in the archive; the central header repeats it.
  zipfmt::THeaderInfo Header;
  bool Written = false;
  bool IsFolder() const { return !Name.empty() && Name.back() == platform::PathDelimiter(); }
};
