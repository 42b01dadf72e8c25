// The component text format: WriteComponentText produces the block-structured text
// of an object's persisted properties byte for byte; ReadComponentText parses a whole text
// (phase 1, syntax) and then assigns its property items to an existing object (phase 2).
// Where the code page may hold raw bytes (POSIX), a string value that is no UTF-8 is written as
// its bytes in braces, and bytes in braces are read into a string property.
//
// Errors (app/UfnErrors.h):
//   writer: EWriteError "Stream write error" when the output takes fewer bytes than given;
//   phase 1: EParserError "%s on line %d", EConvertError for integer and real tokens;
//   phase 2: EReadError "Error reading %s%s%s: %s", EClassNotFound "Class %s not found" for
//            a child object (this program knows no class that could be one).
#pragma once

#include "settings/UfnComponent.h"

#include <cstddef>
#include <string>

// The byte streams of the reader and the writer, at their current positions.
class TTextInput {
public:
  virtual ~TTextInput() = default;
  // Up to `count` bytes into `buffer`; 0 at the end.
  virtual size_t Read(char* buffer, size_t count) = 0;
};

class TTextOutput {
public:
  virtual ~TTextOutput() = default;
  // The number of bytes taken; fewer than `count` is a write fault.
  virtual size_t Write(const char* buffer, size_t count) = 0;
};

// A byte string read from its start.
class TStringInput : public TTextInput {
public:
  explicit TStringInput(std::string data) : FData(std::move(data)) {}
  size_t Read(char* buffer, size_t count) override;
  size_t Position() const { return FPosition; }

private:
  std::string FData;
  size_t FPosition = 0;
};

// Appends to a byte string. With a capacity, it takes no more than that many bytes in all
// (so that a test can make the writer meet a full stream).
class TStringOutput : public TTextOutput {
public:
  TStringOutput() = default;
  explicit TStringOutput(size_t capacity) : FCapacity(capacity), FLimited(true) {}
  size_t Write(const char* buffer, size_t count) override;
  const std::string& Data() const { return FData; }

private:
  std::string FData;
  size_t FCapacity = 0;
  bool FLimited = false;
};

void WriteComponentText(TComponent& object, TTextOutput& stream);
void ReadComponentText(TTextInput& stream, TComponent& object);

// The same through byte strings.
std::string WriteComponentText(TComponent& object);
void ReadComponentText(const std::string& text, TComponent& object);

// The size of the reader's buffer: a line (with its line feed) must fit in it.
constexpr size_t ComponentTextBufferSize = 4096;
