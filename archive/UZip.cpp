#include "archive/UZip.h"

#include "base/UfnPaths.h"
#include "base/UfnText.h"

#include "archive/UZipEntry.h"
#include "archive/UfnZipHeaders.h"
#include "base/UfnDesktop.h"
#include "base/UfnErrors.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <optional>
#include <zlib.h>

struct TZip::TRunError {
  int Code;
  std::string FileName;
  std::string Extended;
};

namespace {

constexpr int64_t StoreChunkSize = 102400;
constexpr int64_t CopyChunkSize = 131072;
constexpr int64_t TempBufferSize = 256 << 10;
// Deflate may grow incompressible data a little; an entry this close to 4 GiB gets the ZIP64
// sizes in its local header in case its data end up beyond the classic limit.
constexpr uint64_t Zip64Margin = 64ull << 20;
constexpr uint32_t ExternalAttributeMask = 0x40BF;

// done x 100 / total, rounded to the nearest integer with halves to the even neighbour.
uint8_t Percent(int64_t done, uint64_t total) {
  if (total == 0 || done <= 0) return 0;
  // 128 bits, so that no file size overflows the product.
  __extension__ using Wide = unsigned __int128;
  Wide scaled = static_cast<Wide>(done) * 100;
  Wide q = scaled / total, r = scaled % total;
  if (2 * r > total || (2 * r == total && (q & 1))) ++q;
  return static_cast<uint8_t>(q > 100 ? 100 : q);
}

uint16_t DeflateFlags(TDeflateType type) {
  switch (type) {
  case dtDeflateF:
    return 0x04;
  case dtDeflateX:
    return 0x02;
  default:
    return 0;
  }
}

// Whether a name is flagged as UTF-8: it must hold a byte of 0x80 or more, and be valid
// UTF-8, since readers refuse a whole archive over one flagged name they cannot decode.
bool FlagAsUtf8(const std::string& s) {
  const bool high =
      std::any_of(s.begin(), s.end(), [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
  return high && text::IsValidUtf8(s);
}

} // namespace

TZip::TZip()
    : StoreFilesOfType{".ACE", ".ARC", ".ARJ", ".BH",  ".CAB", ".ENC", ".GZ",  ".HA",
                       ".JAR", ".LHA", ".LZH", ".PAK", ".PK3", ".PK_", ".RAR", ".TAR",
                       ".TGZ", ".UUE", ".UU",  ".WAR", ".XXE", ".Z",   ".ZIP", ".ZOO"} {}

TZip::~TZip() {
  Discard();
}

// ---- settings -------------------------------------------------------------------------------

void TZip::SetArchiveFile(const std::string& path) {
  std::string p = path;
  if (platform::PathDelimiter() == '\\') std::replace(p.begin(), p.end(), '/', '\\');
  if (!ExtractFileName(p).empty() && ExtractFileExt(p).empty()) p += FDefaultExt;
  FArchiveFile = p;
  FArchiveExisted = !p.empty() && platform::FileExists(p);
}

void TZip::SetDefaultExt(const std::string& ext) {
  std::string e = text::LowerAscii(ext);
  if (!e.empty() && e[0] != '.') e.insert(e.begin(), '.');
  if (e.size() > 4) e.resize(4);
  FDefaultExt = e;
}

void TZip::SetCompressMethod(TCompressMethod method) {
  if (method == cmStore || method == cmDeflate) FCompressMethod = method;
}

void TZip::SetStoredDirNames(TStoredDirNames value) {
  if (value == sdRelative) FStoredDirNames = value;
}

void TZip::SetCompressionMethod(TCompressionMethod value) {
  if (value == cmTempFile) FCompressionMethod = value;
}

void TZip::SetSwitch(TSwitch value) {
  if (value == swAdd) FSwitch = value;
}

void TZip::SetArcType(TArcType) {}

void TZip::SetEncryptHeaders(bool) {}

void TZip::SetPassword(const std::string& value) {
  if (value.empty()) FPassword.clear();
}

void TZip::IncludeAttribute(TScanAttribute kind, bool include) {
  if (include)
    Attributes.Include(kind);
  else
    Attributes.Exclude(kind);
}

std::string TZip::ErrorText(int code) {
  switch (code) {
  case zeWriteError:
    return "Error writing to file";
  case zeInvalidDirectory:
    return "Invalid directory";
  case zeDiskFull:
    return "Disk full";
  case zeNotAccessible:
    return "is not accessible";
  case zeWriteProtected:
    return "disk is write protected";
  case zeOpenError:
    return "Error opening file";
  case zeNothingToDo:
    return "Nothing to do";
  case zeEventNotAssigned:
    return "Required event not assigned";
  }
  return "";
}

// ---- helpers --------------------------------------------------------------------------------

std::string TZip::FullPath(const TEntry& e) const {
  return FRoots[e.SpecLine] + e.Name;
}

// Below its root, so that no link met on the way is followed.
TFileStream TZip::OpenSourceFile(const TEntry& e) const {
  return TFileStream::OpenSource(FRoots[e.SpecLine], e.Name);
}

std::string TZip::ArchiveName(const std::string& name) const {
  std::string n = name;
  if (platform::PathDelimiter() != '/')
    std::replace(n.begin(), n.end(), platform::PathDelimiter(), '/');
  size_t lead = n.find_first_not_of('/');
  n = lead == std::string::npos ? std::string() : n.substr(lead);
  // Both headers of an entry carry this one form of its name.
  return TranslateOemChar ? platform::ToOemCodePage(n) : n;
}

bool TZip::Utf8Name(const std::string& name) const {
  return FlagAsUtf8(name) && platform::CodePageIsUtf8(TranslateOemChar);
}

bool TZip::IsStoredType(const std::string& name) const {
  std::string ext = ExtractFileExt(name);
  if (ext.empty()) return false;
  return std::any_of(StoreFilesOfType.begin(), StoreFilesOfType.end(),
                     [&](const std::string& t) { return text::SameAsciiIgnoreCase(t, ext); });
}

uint32_t TZip::EntryDate(const TEntry& e) const {
  switch (DateAttribute) {
  case daSysDate:
    return platform::ToDosDateTime(std::time(nullptr));
  case daMaxFileDate:
    return FMaxFileDate ? platform::ToDosDateTime(FMaxFileDate) : e.DosDateTime;
  case daFileDate:
    break;
  }
  return e.DosDateTime;
}

void TZip::Progress(int64_t fileDone, uint64_t fileSize) {
  if (!OnProgress) return;
  Desktop().ProcessMessages();
  OnProgress(*this, Percent(fileDone, fileSize),
             Percent(static_cast<int64_t>(FByteTotal) - FBytesToDo, FByteTotal));
}

void TZip::RaiseError(int code, const std::string& fileName, const std::string& extended) {
  if (!OnError) return;
  try {
    OnError(*this, fileName, extended, FArchiveFile, code);
  } catch (...) {
    // A handler that fails must not turn a reported error into a second one.
  }
}

void TZip::Unreadable(const std::string& path, const std::string& why) {
  ++FUnreadableCount;
  if (FUnreadableFiles.size() < MaxUnreadableNames) FUnreadableFiles.push_back(path);
  RaiseError(zeOpenError, path, why);
}

void TZip::WriteFailed(const std::string& fileName, const std::string& what) {
  int code = FTemp && platform::IsDiskFullError(FTemp->LastError()) ? zeDiskFull : zeWriteError;
  throw TRunError{code, fileName, what};
}

// ---- the run --------------------------------------------------------------------------------

int TZip::BuildArchive() {
  try {
    return Run();
  } catch (const TRunError& e) {
    Discard();
    RaiseError(e.Code, e.FileName, e.Extended);
  } catch (const TRunCancelled&) {
    Discard();
  } catch (const std::exception& e) {
    Discard();
    RaiseError(zeWriteError, "", e.what());
  } catch (...) {
    Discard();
    RaiseError(zeWriteError, "", "");
  }
  return 0;
}

int TZip::Run() {
  Discard();
  FCancel = false;
  FByteTotal = 0;
  FBytesToDo = 0;
  FMaxFileDate = 0;
  FWritten = 0;
  FEnd = 0;
  FUnreadableCount = 0;
  FUnreadableFiles.clear();
  FLinkCount = 0;
  FSkippedLinks.clear();
  if (FCompressMethod == cmStore) DeflateType = dtDeflateS;

  CheckArchiveFolder();
  OpenTempFile();
  Collect();
  if (FCancel) throw TRunCancelled{};
  if (FEntries.empty()) throw TRunError{zeNothingToDo, "", ""};

  for (size_t i = 0; i < FEntries.size(); ++i) {
    TEntry& e = FEntries[i];
    try {
      if (e.IsFolder())
        WriteFolderEntry(e, i);
      else
        WriteFileEntry(e, i);
    } catch (const EWriteError& x) {
      WriteFailed(FullPath(e), x.what());
    } catch (const ECompressionError& x) {
      throw TRunError{zeWriteError, FullPath(e), x.what()};
    }
    FAhead.erase(FAhead.begin(), FAhead.upper_bound(i)); // dropped or left out
    if (FCancel) throw TRunCancelled{};
  }
  if (FWritten == 0) {
    Discard();
    return 0;
  }
  try {
    FTemp->Flush(); // a failure here belongs to the entries, not to the directory
  } catch (const EWriteError& x) {
    WriteFailed(FTempPath, x.what());
  }
  WriteCentralDirectory();
  PlaceArchive();
  int written = FWritten;
  Discard();
  return written;
}

void TZip::CheckArchiveFolder() {
  std::string name = ExtractFileName(FArchiveFile);
  std::string folder = ExtractFilePath(FArchiveFile);
  if (folder.empty()) folder = platform::GetCurrentDir();
  if (name.empty() || !platform::DirectoryExists(folder))
    throw TRunError{zeInvalidDirectory, FArchiveFile, ""};
  uint64_t total = 0, available = 0;
  if (!platform::DiskSpace(folder, total, available))
    throw TRunError{zeNotAccessible, folder, platform::LastErrorMessage()};
  // A write-protected medium is told before anything is packed. Any other failure of the probe
  // (a folder this user may not write, say) is left to the step that meets it with its own error.
  std::string probe;
  platform::FileHandle h = platform::FileCreateUnique(folder, ".orlenway-probe-", probe);
  if (h == platform::InvalidFileHandle) {
    if (platform::IsWriteProtectedError(platform::LastErrorCode()))
      throw TRunError{zeWriteProtected, folder, platform::LastErrorMessage()};
    return;
  }
  platform::FileClose(h);
  if (!platform::DeleteFile(probe))
    throw TRunError{zeWriteProtected, folder, platform::LastErrorMessage()};
}

void TZip::OpenTempFile() {
  std::string folder = TempDir;
  if (folder.empty() || !platform::DirectoryExists(folder)) {
    folder = platform::TempFolder();
    platform::ForceDirectories(folder);
  }
  try {
    FTemp = std::make_unique<TFileStream>(TFileStream::CreateUnique(folder, "orlenway-zip-"));
  } catch (const EFCreateError& x) {
    int code = platform::IsDiskFullError(platform::LastErrorCode()) ? zeDiskFull : zeWriteError;
    throw TRunError{code, folder, x.what()};
  }
  FTempPath = FTemp->FileName();
  FTemp->EnableWriteBuffer(TempBufferSize);
  FChunk.reset(new unsigned char[TCompressStream::InputChunkSize]);
  FOutputBlock.reset(new unsigned char[TCompressStream::OutputBlockSize]);
  FPieceBuffer.reset(new unsigned char[static_cast<size_t>(PieceSize)]);
}

void TZip::Collect() {
  TScanSettings s;
  s.FileSpec = FileSpec;
  s.ExcludeSpec = ExcludeSpec;
  s.RecurseDirs = RecurseDirs;
  s.IncludeHiddenDirs = IncludeHiddenDirs;
  s.StoreEmptySubDirs = StoreEmptySubDirs;
  s.Attributes = Attributes;
  s.AttributesEx = AttributesEx;
  TFolderScan scan(s, FCancel);
  scan.OnItem = [this](TScanItem& item) {
    if (item.FullPath == FTempPath) return; // a temporary folder inside the packed tree
    TEntry e;
    e.Name = item.FullPath.substr(item.RootLength);
    e.Size = item.Size;
    e.DosDateTime = item.DosDateTime;
    e.Attributes = item.Attributes;
    e.SpecLine = static_cast<uint32_t>(item.SpecIndex);
    if (!item.IsFolder()) FMaxFileDate = std::max(FMaxFileDate, item.MTime);
    FEntries.push_back(std::move(e));
  };
  scan.OnUnlisted = [this](const std::string& folder) {
    Unreadable(folder, platform::LastErrorMessage());
  };
  scan.OnSpecial = [this](const std::string& path) { Unreadable(path, "Not a regular file"); };
  scan.OnLink = [this](const std::string& path) {
    ++FLinkCount;
    if (FSkippedLinks.size() < MaxUnreadableNames) FSkippedLinks.push_back(path);
  };
  scan.Run();
  FRoots = scan.Roots();
  FByteTotal = scan.ByteTotal();
  FBytesToDo = static_cast<int64_t>(FByteTotal);
}

uint32_t TZip::StoreCopy(TStream& source, TEntry& e) {
  unsigned char* chunk = FChunk.get(); // at least StoreChunkSize bytes
  uLong crc = crc32(0L, Z_NULL, 0);
  int64_t done = 0;
  source.SetPosition(0);
  for (;;) {
    Desktop().ProcessMessages();
    if (FCancel) throw TRunCancelled{};
    int64_t n = source.Read(chunk, StoreChunkSize);
    if (n <= 0) break;
    crc = crc32(crc, chunk, static_cast<uInt>(n));
    FTemp->WriteBuffer(chunk, n);
    done += n;
    FBytesToDo -= n;
    Progress(done, e.Size);
  }
  return static_cast<uint32_t>(crc);
}

bool TZip::WriteFileEntry(TEntry& e, size_t index) {
  const std::string full = FullPath(e);
  bool extract = true;
  if (OnBegin) OnBegin(*this, full, static_cast<int>(index + 1), extract);
  if (!extract) return false;
  const std::string name = ArchiveName(e.Name);

  std::optional<TFileStream> source;
  try {
    source.emplace(OpenSourceFile(e));
  } catch (const EFOpenError&) {
    Unreadable(full, platform::LastErrorMessage());
    return false;
  }

  WriteProvisionalHeader(e, name);
  const int64_t dataStart = FTemp->Position();
  const int64_t toDoBefore = FBytesToDo;
  uint32_t crc = 0;
  uint16_t method = zipfmt::MethodDeflated;
  try {
    crc = WriteEntryData(*source, e, index, method);
  } catch (const EReadError& x) {
    // Pieces of this file still queued are deflated and thrown away; dropping the queue
    // would also drop the files read ahead, whose turn would then wait for ever.
    // The source failed midway: leave it out and reuse its place for the next entry.
    FBytesToDo = toDoBefore - static_cast<int64_t>(e.Size);
    Unreadable(full, x.what());
    return false;
  }
  if (!CompleteLocalHeader(e, name, crc, method, dataStart, source->Position())) {
    FBytesToDo = toDoBefore - static_cast<int64_t>(e.Size);
    Unreadable(full, "the file grew beyond 4 GiB while it was read");
    return false;
  }

  e.Size = e.Header.UncompressedSize;
  e.Written = true;
  FEnd = FTemp->Position();
  ++FWritten;
  source->Close();
  if (OnEnd) OnEnd(*this, e.Name, true);
  return true;
}

// The local header as far as it is known before the data: their place is kept for it.
void TZip::WriteProvisionalHeader(TEntry& e, const std::string& name) {
  zipfmt::THeaderInfo& h = e.Header;
  h = {};
  h.Flags = Utf8Name(name) ? zipfmt::FlagUtf8Name : 0;
  h.Method = zipfmt::MethodDeflated;
  h.DosDateTime = EntryDate(e);
  h.UncompressedSize = e.Size;
  h.Offset = static_cast<uint64_t>(FEnd);
  h.Zip64Local = e.Size + Zip64Margin >= zipfmt::Limit32;
  std::string header;
  zipfmt::AppendLocalHeader(header, h, name);
  FTemp->SetPosition(FEnd);
  FTemp->WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
}

// Writes the file's data after its header: stored, deflated in memory (a small file), or cut
// into pieces for the workers. Gives the CRC-32 and the method; EReadError when the file
// fails midway.
uint32_t TZip::WriteEntryData(TFileStream& source, TEntry& e, size_t index, uint16_t& method) {
  const bool store =
      FCompressMethod == cmStore || DeflateType == dtDeflateS || IsStoredType(e.Name);
  method = zipfmt::MethodDeflated;
  if (store || e.Size == 0) {
    method = zipfmt::MethodStored;
    return StoreCopy(source, e);
  }
  if (e.Size < SmallFileLimit) return DeflateSmallFile(source, e, method);
  int64_t read = 0;
  return DeflatePieces(source, e, index, read);
}

// A small file is deflated in memory first and stored when that does not make it smaller.
uint32_t TZip::DeflateSmallFile(TFileStream& source, TEntry& e, uint16_t& method) {
  // The share of the file the engine has taken in, not what has been read ahead of it.
  auto fileProgress = [this, &e](TCompressStream& s) { Progress(s.BytesIn(), e.Size); };
  uint32_t crc = 0;
  TMemoryStream packed;
  if (!DeflateFile(source, packed, DeflateType, crc, FBytesToDo, FCancel, fileProgress,
                   FChunk.get(), FOutputBlock.get()))
    throw TRunCancelled{};
  const int64_t read = source.Position();
  if (static_cast<int64_t>(packed.Data().size()) > read) {
    FBytesToDo += read; // counted again while storing
    method = zipfmt::MethodStored;
    return StoreCopy(source, e);
  }
  FTemp->WriteBuffer(packed.Memory(), static_cast<int64_t>(packed.Data().size()));
  return crc;
}

// Writes the completed local header over the provisional one and returns to the end of the
// data. False when the file grew past what the provisional header can describe.
bool TZip::CompleteLocalHeader(TEntry& e, const std::string& name, uint32_t crc, uint16_t method,
                               int64_t dataStart, int64_t read) {
  const int64_t dataEnd = FTemp->Position();
  zipfmt::THeaderInfo& h = e.Header;
  h.Method = method;
  h.Flags = static_cast<uint16_t>(
      h.Flags | (method == zipfmt::MethodDeflated ? DeflateFlags(DeflateType) : 0));
  h.CRC = crc;
  h.CompressedSize = static_cast<uint64_t>(dataEnd - dataStart);
  h.UncompressedSize = static_cast<uint64_t>(read);
  if (!h.Zip64Local &&
      (h.CompressedSize >= zipfmt::Limit32 || h.UncompressedSize >= zipfmt::Limit32))
    return false;
  std::string header;
  zipfmt::AppendLocalHeader(header, h, name);
  FTemp->SetPosition(FEnd);
  FTemp->WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
  FTemp->SetPosition(dataEnd);
  return true;
}

bool TZip::WriteFolderEntry(TEntry& e, size_t index) {
  bool extract = true;
  if (OnBegin) OnBegin(*this, FullPath(e), static_cast<int>(index + 1), extract);
  if (!extract) return false;
  const std::string name = ArchiveName(e.Name);
  zipfmt::THeaderInfo h;
  h.Flags = Utf8Name(name) ? zipfmt::FlagUtf8Name : 0;
  h.Method = zipfmt::MethodStored;
  h.DosDateTime = EntryDate(e);
  h.Offset = static_cast<uint64_t>(FEnd);
  std::string header;
  zipfmt::AppendLocalHeader(header, h, name);
  FTemp->SetPosition(FEnd);
  FTemp->WriteBuffer(header.data(), static_cast<int64_t>(header.size()));
  e.Header = h;
  e.Size = 0;
  e.Written = true;
  FEnd += static_cast<int64_t>(header.size());
  ++FWritten;
  if (OnEnd) OnEnd(*this, e.Name, true);
  return true;
}

void TZip::WriteCentralDirectory() {
  if (OnProgress) {
    Desktop().ProcessMessages();
    OnProgress(*this, 0, 0);
  }
  try {
    const uint64_t offset = static_cast<uint64_t>(FEnd);
    FTemp->SetPosition(FEnd);
    std::string block;
    uint64_t size = 0;
    auto flush = [&]() {
      FTemp->WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
      size += block.size();
      block.clear();
    };
    for (const TEntry& e : FEntries) {
      if (!e.Written) continue;
      zipfmt::THeaderInfo h = e.Header;
      h.ExternalAttributes = e.Attributes & ExternalAttributeMask;
      zipfmt::AppendCentralHeader(block, h, ArchiveName(e.Name));
      if (block.size() >= (1u << 20)) flush();
    }
    flush();
    zipfmt::AppendEndRecords(block, static_cast<uint64_t>(FWritten), size, offset);
    FTemp->WriteBuffer(block.data(), static_cast<int64_t>(block.size()));
    // A dropped last entry may have left bytes beyond the end.
    FTemp->Truncate(FTemp->Position());
    FTemp->Close();
  } catch (const EStreamError& x) {
    throw TRunError{zeWriteError, FTempPath, x.what()};
  }
}

void TZip::PlaceArchive() {
  if (platform::RenameFile(FTempPath, FArchiveFile)) {
    FTempPath.clear();
    return;
  }
  // Another file system: copy next to the archive, then rename over it, so that an older
  // file at the archive path is replaced only by a complete archive.
  auto fail = [this](const std::string& what, int error) {
    int code = platform::IsDiskFullError(error) ? zeDiskFull : zeWriteError;
    throw TRunError{code, FArchiveFile, what};
  };
  try {
    TFileStream in = TFileStream::OpenRead(FTempPath);
    std::string prefix(1, '.');
    prefix += ExtractFileName(FArchiveFile);
    prefix += '.';
    TFileStream out = TFileStream::CreateUnique(ExtractFilePath(FArchiveFile), prefix);
    FPartialPath = out.FileName();
    std::unique_ptr<unsigned char[]> chunk(new unsigned char[CopyChunkSize]);
    for (;;) {
      Desktop().ProcessMessages();
      int64_t n = in.Read(chunk.get(), CopyChunkSize);
      if (n <= 0) break;
      out.WriteBuffer(chunk.get(), n);
    }
    out.Close();
  } catch (const EStreamError& x) {
    fail(x.what(), platform::LastErrorCode());
  }
  if (!platform::RenameFile(FPartialPath, FArchiveFile))
    fail(platform::LastErrorMessage(), platform::LastErrorCode());
  FPartialPath.clear();
}

void TZip::Discard() {
  if (FTemp) {
    try {
      FTemp->Close();
    } catch (...) {
    }
    FTemp.reset();
  }
  if (!FTempPath.empty()) platform::DeleteFile(FTempPath);
  if (!FPartialPath.empty()) platform::DeleteFile(FPartialPath);
  FTempPath.clear();
  FPartialPath.clear();
  FEntries.clear();
  FEntries.shrink_to_fit();
  FChunk.reset();
  FOutputBlock.reset();
  FPieceBuffer.reset();
  FAhead.clear();
  FAheadNext = 0;
  FPool.reset(); // joins the workers
}
