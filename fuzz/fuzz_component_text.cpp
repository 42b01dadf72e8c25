// libFuzzer target: arbitrary bytes into ReadComponentText on a TclsBasicSetting.
// Only the reader's own errors may come out (EParserError, EConvertError, EReadError,
// EClassNotFound); anything else escapes and crashes the fuzzer. Whatever state the object is
// left in, writing it, reading that text into a fresh object and writing again must give the
// same text without any error.
#include "base/UfnErrors.h"
#include "settings/UclsBasicSetting.h"
#include "settings/UfnComponentText.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  TclsBasicSetting s;
  try {
    ReadComponentText(input, s);
  } catch (const EParserError&) {
  } catch (const EConvertError&) {
  } catch (const EReadError&) {
  } catch (const EClassNotFound&) {
  }
  const std::string first = WriteComponentText(s);
  TclsBasicSetting again;
  ReadComponentText(first, again); // must not raise anything
  const std::string second = WriteComponentText(again);
  if (first != second) {
    std::fprintf(stderr, "round trip differs:\n%s\n---\n%s\n", first.c_str(), second.c_str());
    std::abort();
  }
  return 0;
}
