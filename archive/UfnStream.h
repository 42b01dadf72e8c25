// The program's stream classes: a file stream over the OS layer and a memory stream. The
// archive writer reads sources, writes its temporary file and deflates through them.
#pragma once

#include "platform/UfnPlatform.h"

#include <cstdint>
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
  // Creates a new file with a name of its own in `folder`; EFCreateError on failure.
  static TFileStream CreateUnique(const std::string& folder, const std::string& prefix);

  TFileStream(TFileStream&& other) noexcept;
  TFileStream& operator=(TFileStream&&) = delete;
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override; // EReadError on a system failure
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  void Truncate(int64_t size); // EWriteError on failure
  // Closes the file; EWriteError when the system reports a late failure. Idempotent.
  void Close();

  const std::string& FileName() const { return FFileName; }
  // The system's error code of the last failed operation of this stream (0 when none).
  int LastError() const { return FLastError; }

private:
  TFileStream(platform::FileHandle handle, std::string fileName);
  [[noreturn]] void Fail(bool writing);

  platform::FileHandle FHandle;
  std::string FFileName;
  int FLastError = 0;
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
