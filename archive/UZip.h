// TZip: packs the files of folder trees into a new ZIP archive, built in a temporary file and
// moved into place. Runs on the caller's thread and pumps the window messages meanwhile.
#pragma once

#include "archive/UCompressStream.h"
#include "archive/UfnFolderScan.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

enum TStoredDirNames {
  sdNone,
  sdAbsolute,
  sdAbsoluteNoDrv,
  sdAbsoluteNoRoot,
  sdRelative,
  sdRelativeStoreStart,
  sdExplorer_Auto,
  sdExplorer_UserDefineDefaultDir
};
enum TDateAttribute { daFileDate, daSysDate, daMaxFileDate };
enum TCompressMethod {
  cmStore,
  cmDeflate,
  cmFuse,
  cmFrozen5,
  cmFrozen6,
  cmMsZip,
  cmLzx,
  cmQuantum,
  cmUUEncode,
  cmXXEncode,
  cmBase64,
  cmTarred,
  cmTarGzip
};
enum TCompressionMethod { cmInMemory, cmTempFile };
enum TSwitch { swAdd, swRefresh, swMove, swDelete, swRead };
enum TArcType { atZip };
enum TDeleteOptions { doFinal, doAllowUndo };

// Error numbers reported through OnError; ErrorText gives their texts.
enum TZipErrorCode : int {
  zeWriteError = 25136,       // "Error writing to file"
  zeInvalidDirectory = 25158, // "Invalid directory"
  zeDiskFull = 25160,         // "Disk full"
  zeNotAccessible = 25170,    // "is not accessible"
  zeWriteProtected = 25171,   // "disk is write protected"
  zeOpenError = 25235,        // "Error opening file"
  zeNothingToDo = 25268,      // "Nothing to do"
  zeEventNotAssigned = 25270  // "Required event not assigned"
};

class TZip {
public:
  TZip();
  ~TZip();
  TZip(const TZip&) = delete;
  TZip& operator=(const TZip&) = delete;

  // ---- settings ----
  std::vector<std::string> FileSpec;         // each line a folder path followed by a file mask
  std::vector<std::string> ExcludeSpec;      // masks of files to leave out
  std::vector<std::string> StoreFilesOfType; // extensions stored, not deflated (any case)
  bool RecurseDirs = true;
  bool IncludeHiddenDirs = false;
  bool StoreEmptySubDirs = false;
  TScanAttributes Attributes{fsZeroAttr, fsReadOnly, fsArchive, fsCompressed, fsEncrypted};
  TScanAttributes AttributesEx;
  TDateAttribute DateAttribute = daFileDate;
  TDeflateType DeflateType = dtDeflateN;
  std::string TempDir; // folder for the temporary file; the system's when it does not exist
  TDeleteOptions DeleteOptions = doAllowUndo; // not used by swAdd
  // Entry names in the OEM code page (Windows); POSIX has none, names stay UTF-8 either way.
  bool TranslateOemChar = true;

  // The archive path; one without an extension gets DefaultExt.
  void SetArchiveFile(const std::string& path);
  const std::string& ArchiveFile() const { return FArchiveFile; }
  bool ArchiveExisted() const { return FArchiveExisted; } // when ArchiveFile was set
  // Stored in lower case, with a leading ".", at most 4 characters.
  void SetDefaultExt(const std::string& ext);
  const std::string& DefaultExt() const { return FDefaultExt; }
  // Only cmStore and cmDeflate are taken; other values leave the setting as it was.
  void SetCompressMethod(TCompressMethod method);
  TCompressMethod CompressMethod() const { return FCompressMethod; }
  // The modes below are the only ones this component has; other values are refused the
  // same way, so that a caller never gets a run it did not ask for.
  void SetStoredDirNames(TStoredDirNames value); // sdRelative only
  TStoredDirNames StoredDirNames() const { return FStoredDirNames; }
  void SetCompressionMethod(TCompressionMethod value); // cmTempFile only
  TCompressionMethod CompressionMethod() const { return FCompressionMethod; }
  void SetSwitch(TSwitch value); // swAdd only
  TSwitch Switch() const { return FSwitch; }
  void SetArcType(TArcType value); // always atZip
  TArcType ArcType() const { return atZip; }
  void SetEncryptHeaders(bool value); // entries are never encrypted: false only
  bool EncryptHeaders() const { return false; }
  void SetPassword(const std::string& value); // empty only
  const std::string& Password() const { return FPassword; }

  // Adds the kind to Attributes when `include` is true, removes it otherwise.
  void IncludeAttribute(TScanAttribute kind, bool include);

  // ---- events ----
  // Before each entry: its full path (a folder's ends with the delimiter) and its 1-based
  // position; setting Extract false drops it.
  std::function<void(TZip& Sender, const std::string& FileName, int Count, bool& Extract)> OnBegin;
  // Percentages 0..100 of the current file and of the whole run.
  std::function<void(TZip& Sender, uint8_t ByFile, uint8_t ByArchive)> OnProgress;
  // After each entry OnBegin let through, with its name below the root.
  std::function<void(TZip& Sender, const std::string& FileName, bool CRC_PASS)> OnEnd;
  // Every error, with the item concerned, an extra text, the archive path and the number.
  std::function<void(TZip& Sender, const std::string& FileName, const std::string& ExtendedMsg,
                     const std::string& VolumeID, int ECode)>
      OnError;

  // Collects, writes the archive and returns the number of entries written (files and folder
  // entries). 0 when nothing was written or the run failed or was cancelled; a run that
  // does not succeed leaves nothing at ArchiveFile (an older file there stays untouched).
  // Never raises.
  int BuildArchive();
  // Sets the cancel mark (from a handler during a run): the run stops and returns 0.
  void Cancel() { FCancel = true; }

  // Files are deflated on worker threads, one per core unless set here (0: one per core).
  // The archive's bytes do not depend on the number.
  void SetWorkerThreads(unsigned count) { FThreads = count; }
  unsigned WorkerThreads() const;
  // Files are deflated in pieces of this size, each on its own thread; a file of one piece
  // or less is deflated whole.
  static constexpr int64_t PieceSize = 1 << 20;
  // Pieces of the file at its turn in flight at once, and the upcoming files read ahead
  // meanwhile (at most so many, holding at most so many bytes): with their output,
  // well within 64 MiB of memory.
  static constexpr size_t MaxPiecesInFlight = 16;
  static constexpr size_t MaxFilesAhead = 64;
  static constexpr uint64_t MaxBytesAhead = 8u << 20;

  // The files of the last run that could not be read and were left out (folders that could
  // not be listed count too, with a trailing delimiter): their number, and the first few.
  static constexpr size_t MaxUnreadableNames = 10;
  size_t UnreadableCount() const { return FUnreadableCount; }
  const std::vector<std::string>& UnreadableFiles() const { return FUnreadableFiles; }
  // The links (symbolic links, reparse points) the last run met and left out, neither packed
  // nor followed: their number, and the first few, as the walk met them.
  size_t LinkCount() const { return FLinkCount; }
  const std::vector<std::string>& SkippedLinks() const { return FSkippedLinks; }

  static std::string ErrorText(int code);

private:
  struct TEntry;
  struct TRunError;
  struct TRunCancelled {};

  int Run();
  void CheckArchiveFolder();
  void OpenTempFile();
  void Collect();
  bool WriteFileEntry(TEntry& e, size_t index);
  void WriteProvisionalHeader(TEntry& e, const std::string& name);
  uint32_t WriteEntryData(TFileStream& source, TEntry& e, size_t index, uint16_t& method);
  uint32_t DeflateSmallFile(TFileStream& source, TEntry& e, uint16_t& method);
  bool CompleteLocalHeader(TEntry& e, const std::string& name, uint32_t crc, uint16_t method,
                           int64_t dataStart, int64_t read);
  bool WriteFolderEntry(TEntry& e, size_t index);
  uint32_t StoreCopy(TStream& source, TEntry& e);
  uint32_t DeflatePieces(TStream& source, TEntry& e, size_t index, int64_t& read);
  void ReadAhead();
  std::shared_ptr<TDeflatePiece> NextPiece(std::vector<unsigned char>& tail,
                                           const unsigned char* data, int64_t n, bool last);
  bool EarlyPiecesMatch(const std::vector<std::shared_ptr<TDeflatePiece>>& early, TStream& source,
                        int64_t n);
  void WriteCentralDirectory();
  void PlaceArchive();
  void Discard();

  std::string FullPath(const TEntry& e) const;
  TFileStream OpenSourceFile(const TEntry& e) const;
  std::string ArchiveName(const std::string& name) const;
  // Whether the name (in archive form) gets the UTF-8 flag: valid UTF-8 with a byte of 0x80
  // or more, in a code page that is UTF-8.
  bool Utf8Name(const std::string& name) const;
  bool IsStoredType(const std::string& name) const;
  uint32_t EntryDate(const TEntry& e) const;
  void Progress(int64_t fileDone, uint64_t fileSize);
  void Unreadable(const std::string& path, const std::string& why);
  void RaiseError(int code, const std::string& fileName, const std::string& extended);
  [[noreturn]] void WriteFailed(const std::string& fileName, const std::string& what);

  std::string FArchiveFile;
  bool FArchiveExisted = false;
  std::string FDefaultExt = ".zip";
  TCompressMethod FCompressMethod = cmDeflate;
  TStoredDirNames FStoredDirNames = sdRelative;
  TCompressionMethod FCompressionMethod = cmTempFile;
  TSwitch FSwitch = swAdd;
  std::string FPassword;

  // ---- one run ----
  bool FCancel = false;
  unsigned FThreads = 0;
  std::unique_ptr<TDeflatePool> FPool;
  // Files after the current one, read, cut into pieces and handed to the workers early; each
  // is taken only if its file still holds the same bytes when its turn comes.
  std::map<size_t, std::vector<std::shared_ptr<TDeflatePiece>>> FAhead;
  size_t FAheadNext = 0;
  std::vector<std::string> FRoots;
  std::deque<TEntry> FEntries;
  uint64_t FByteTotal = 0;
  int64_t FBytesToDo = 0;
  std::time_t FMaxFileDate = 0;
  int FWritten = 0;
  int64_t FEnd = 0; // where the next entry goes in the temporary file
  std::unique_ptr<TFileStream> FTemp;
  std::string FTempPath;
  std::string FPartialPath; // a copy being made next to the archive
  // Reading and deflating buffers, kept for the whole run rather than made for each file.
  std::unique_ptr<unsigned char[]> FChunk, FOutputBlock;
  // One piece of the file being cut, read anew for each file (not cleared: a run of small
  // files would spend its time zeroing it).
  std::unique_ptr<unsigned char[]> FPieceBuffer;
  size_t FUnreadableCount = 0;
  std::vector<std::string> FUnreadableFiles;
  size_t FLinkCount = 0;
  std::vector<std::string> FSkippedLinks;
};
