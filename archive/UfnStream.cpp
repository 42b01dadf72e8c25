#include "archive/UfnStream.h"

#include "base/UfnErrors.h"

#include <algorithm>
#include <cstring>

// ---- TStream ------------------------------------------------------------------------------

int64_t TStream::Read(void*, int64_t) {
  throw EStreamError("Stream read not supported");
}

void TStream::SetPosition(int64_t position) {
  if (Seek(position, soBeginning) != position) throw EStreamError("Stream seek error");
}

int64_t TStream::Size() {
  int64_t here = Seek(0, soCurrent);
  int64_t end = Seek(0, soEnd);
  Seek(here, soBeginning);
  return end;
}

void TStream::ReadBuffer(void* buffer, int64_t count) {
  char* p = static_cast<char*>(buffer);
  while (count > 0) {
    int64_t n = Read(p, count);
    if (n <= 0) throw EReadError("Stream read error");
    p += n;
    count -= n;
  }
}

void TStream::WriteBuffer(const void* buffer, int64_t count) {
  if (count > 0 && Write(buffer, count) != count) throw EWriteError("Stream write error");
}

// ---- TFileStream --------------------------------------------------------------------------

TFileStream::TFileStream(platform::FileHandle handle, std::string fileName)
    : FHandle(handle), FFileName(std::move(fileName)) {}

TFileStream::TFileStream(TFileStream&& other) noexcept
    : FHandle(other.FHandle), FFileName(std::move(other.FFileName)), FLastError(other.FLastError),
      FPosition(other.FPosition), FHandleOffset(other.FHandleOffset),
      FBuffer(std::move(other.FBuffer)), FBufferSize(other.FBufferSize),
      FBufferStart(other.FBufferStart), FBufferLength(other.FBufferLength) {
  other.FHandle = platform::InvalidFileHandle;
  other.FBufferLength = 0;
}

TFileStream::~TFileStream() {
  if (FHandle == platform::InvalidFileHandle) return;
  try {
    Flush();
  } catch (...) {
    // Nothing to tell anyone from here; callers that care call Close.
  }
  platform::FileClose(FHandle);
}

TFileStream TFileStream::OpenRead(const std::string& path) {
  platform::FileHandle h = platform::FileOpenRead(path);
  if (h == platform::InvalidFileHandle)
    throw EFOpenError(
        Format("Cannot open file \"%s\". %s", path.c_str(), platform::LastErrorMessage().c_str()));
  return TFileStream(h, path);
}

TFileStream TFileStream::OpenSource(const std::string& root, const std::string& relative) {
  const std::string path = root + relative;
  platform::FileHandle h = platform::FileOpenSource(root, relative);
  if (h == platform::InvalidFileHandle)
    throw EFOpenError(
        Format("Cannot open file \"%s\". %s", path.c_str(), platform::LastErrorMessage().c_str()));
  return TFileStream(h, path);
}

TFileStream TFileStream::CreateUnique(const std::string& folder, const std::string& prefix) {
  std::string path;
  platform::FileHandle h = platform::FileCreateUnique(folder, prefix, path);
  if (h == platform::InvalidFileHandle)
    throw EFCreateError(Format("Cannot create file \"%s%s\". %s", folder.c_str(), prefix.c_str(),
                               platform::LastErrorMessage().c_str()));
  return TFileStream(h, path);
}

void TFileStream::Fail(bool writing) {
  FLastError = platform::LastErrorCode();
  std::string text = platform::ErrorMessage(FLastError);
  if (writing) throw EWriteError("Stream write error: " + text);
  throw EReadError("Stream read error: " + text);
}

void TFileStream::PlaceHandle(bool writing) {
  if (FHandleOffset == FPosition) return;
  if (platform::FileSeek(FHandle, FPosition, platform::fsoBeginning) != FPosition) {
    FHandleOffset = -1;
    Fail(writing);
  }
  FHandleOffset = FPosition;
}

void TFileStream::WriteDirect(const void* buffer, int64_t count) {
  PlaceHandle(true);
  FHandleOffset = -1;
  if (!platform::FileWrite(FHandle, buffer, static_cast<size_t>(count))) Fail(true);
  FHandleOffset = FPosition + count;
}

void TFileStream::EnableWriteBuffer(int64_t size) {
  Flush();
  FBuffer.reset(size > 0 ? new char[static_cast<size_t>(size)] : nullptr);
  FBufferSize = size > 0 ? size : 0;
}

void TFileStream::Flush() {
  if (FBufferLength == 0) return;
  int64_t length = FBufferLength, here = FPosition;
  FBufferLength = 0;
  FPosition = FBufferStart;
  WriteDirect(FBuffer.get(), length);
  FPosition = here;
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  Flush();
  PlaceHandle(false);
  int64_t n = platform::FileRead(FHandle, buffer, static_cast<size_t>(count));
  if (n < 0) {
    FHandleOffset = -1;
    Fail(false);
  }
  FPosition += n;
  FHandleOffset = FPosition;
  return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (FBufferSize > 0) {
    // Extend or overwrite what the buffer holds; anything else empties it first.
    if (FBufferLength > 0 &&
        (FPosition < FBufferStart || FPosition > FBufferStart + FBufferLength ||
         FPosition + count > FBufferStart + FBufferSize))
      Flush();
    if (FBufferLength == 0) FBufferStart = FPosition;
    if (count < FBufferSize) {
      std::memcpy(FBuffer.get() + (FPosition - FBufferStart), buffer, static_cast<size_t>(count));
      FPosition += count;
      FBufferLength = std::max(FBufferLength, FPosition - FBufferStart);
      return count;
    }
  }
  WriteDirect(buffer, count);
  FPosition += count;
  return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  if (origin == soEnd) {
    Flush();
    int64_t r = platform::FileSeek(FHandle, offset, platform::fsoEnd);
    if (r < 0) {
      FLastError = platform::LastErrorCode();
      FHandleOffset = -1;
      return -1;
    }
    FPosition = FHandleOffset = r;
    return r;
  }
  int64_t target = origin == soBeginning ? offset : FPosition + offset;
  if (target < 0) return -1;
  FPosition = target;
  return target;
}

void TFileStream::Truncate(int64_t size) {
  Flush();
  if (!platform::FileTruncate(FHandle, size)) Fail(true);
}

void TFileStream::Close() {
  if (FHandle == platform::InvalidFileHandle) return;
  try {
    Flush();
  } catch (...) {
    platform::FileClose(FHandle);
    FHandle = platform::InvalidFileHandle;
    throw;
  }
  platform::FileHandle h = FHandle;
  FHandle = platform::InvalidFileHandle;
  if (!platform::FileClose(h)) Fail(true);
}

// ---- TMemoryStream ------------------------------------------------------------------------

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  int64_t size = static_cast<int64_t>(FData.size());
  int64_t n = std::clamp<int64_t>(size - FPosition, 0, std::max<int64_t>(count, 0));
  if (n > 0) std::memcpy(buffer, FData.data() + FPosition, static_cast<size_t>(n));
  FPosition += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  size_t end = static_cast<size_t>(FPosition + count);
  if (end > FData.size()) FData.resize(end);
  std::memcpy(FData.data() + FPosition, buffer, static_cast<size_t>(count));
  FPosition += count;
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  int64_t base = origin == soBeginning ? 0
                 : origin == soCurrent ? FPosition
                                       : static_cast<int64_t>(FData.size());
  if (base + offset < 0) return -1;
  FPosition = base + offset;
  return FPosition;
}

void TMemoryStream::Clear() {
  FData.clear();
  FPosition = 0;
}
