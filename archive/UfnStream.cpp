#include "archive/UfnStream.h"

#include "app/UfnErrors.h"

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
    : FHandle(other.FHandle), FFileName(std::move(other.FFileName)), FLastError(other.FLastError) {
  other.FHandle = platform::InvalidFileHandle;
}

TFileStream::~TFileStream() {
  if (FHandle != platform::InvalidFileHandle) platform::FileClose(FHandle);
}

TFileStream TFileStream::OpenRead(const std::string& path) {
  platform::FileHandle h = platform::FileOpenRead(path);
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

int64_t TFileStream::Read(void* buffer, int64_t count) {
  if (count <= 0) return 0;
  int64_t n = platform::FileRead(FHandle, buffer, static_cast<size_t>(count));
  if (n < 0) Fail(false);
  return n;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  if (count <= 0) return 0;
  if (!platform::FileWrite(FHandle, buffer, static_cast<size_t>(count))) Fail(true);
  return count;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  auto o = origin == soBeginning ? platform::fsoBeginning
           : origin == soCurrent ? platform::fsoCurrent
                                 : platform::fsoEnd;
  int64_t r = platform::FileSeek(FHandle, offset, o);
  if (r < 0) FLastError = platform::LastErrorCode();
  return r;
}

void TFileStream::Truncate(int64_t size) {
  if (!platform::FileTruncate(FHandle, size)) Fail(true);
}

void TFileStream::Close() {
  if (FHandle == platform::InvalidFileHandle) return;
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
