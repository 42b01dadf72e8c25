// The program's stream classes: a file stream over the OS layer and a memory stream. The
// archive writer reads sources, writes its temporary file and deflates through them.
#pragma once

#include "platform/UfnPlatform.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

enum TSeekOrigin { soBeginning, soCurrent, soEnd };

class TStream {
public:
  virtual ~TStream() = default;
  // Bytes read, 0 at the end. Streams that cannot be read raise EStreamError.
  virtual int64_t Read(void* buffer, int64_t count);
  // Bytes written; a failure raises EWriteError.
  virtual int64_t Write(const void* buffer, int64_t count) = 0;
  // The new position, or -1 when the stream cannot seek that way.
  virtual int64_t Seek(int64_t offset, TSeekOrigin origin) = 0;

  int64_t Position() { return Seek(0, soCurrent); }
  void SetPosition(int64_t position); // EStreamError when the stream refuses
  int64_t Size();

  void ReadBuffer(void* buffer, int64_t count);        // EReadError when short
  void WriteBuffer(const void* buffer, int64_t count); // EWriteError when short
};

class TFileStream : public TStream {
public:
  // Opens an existing file for reading (others may read and write it meanwhile).
  // EFOpenError when it cannot be opened.
  static TFileStream OpenRead(const std::string& path);
  // A file found by a folder walk, `relative` below `root` (see platform::FileOpenSource):
  // no link followed below the root, no wait, a regular file only.
  static TFileStream OpenSource(const std::string& root, const std::string& relative);
  // Creates a new file with a name of its own in `folder`; EFCreateError on failure.
  static TFileStream CreateUnique(const std::string& folder, const std::string& prefix);

  TFileStream(TFileStream&& other) noexcept;
  TFileStream& operator=(TFileStream&&) = delete;
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override; // EReadError on a system failure
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void Truncate(int64_t size); // EWriteError on failure
  // Collects writes in a buffer of `size` bytes (rewrites of recent bytes included), so that
  // many small headers cost few system calls. A failure then shows at a later write, at
  // Flush or at Close.
  void EnableWriteBuffer(int64_t size);
  void Flush(); // writes out the buffer; EWriteError on failure
  // Closes the file; EWriteError when the system reports a late failure. Idempotent.
  void Close();

  const std::string& FileName() const { return FFileName; }
  // The system's error code of the last failed operation of this stream (0 when none).
  int LastError() const { return FLastError; }

private:
  TFileStream(platform::FileHandle handle, std::string fileName);
  [[noreturn]] void Fail(bool writing);

  void PlaceHandle(bool writing); // moves the file's own offset to FPosition
  void WriteDirect(const void* buffer, int64_t count);

  platform::FileHandle FHandle;
  std::string FFileName;
  int FLastError = 0;
  int64_t FPosition = 0;     // where the next read or write goes
  int64_t FHandleOffset = 0; // where the system's offset stands (-1: not known)
  std::unique_ptr<char[]> FBuffer;
  int64_t FBufferSize = 0, FBufferStart = 0, FBufferLength = 0;
};

class TMemoryStream : public TStream {
public:
  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void Clear();

  const char* Memory() const { return FData.data(); }
  const std::vector<char>& Data() const { return FData; }

private:
  std::vector<char> FData;
  int64_t FPosition = 0;
};
