// The folder scan of the archive writer: walks the folder trees that the builder's FileSpec
// lines name and hands over every file, and optionally every empty folder, to pack.
#pragma once

#include "platform/UfnPlatform.h"

#include <cstdint>
#include <ctime>
#include <functional>
#include <initializer_list>
#include <string>
#include <vector>

enum TScanAttribute {
  fsZeroAttr,
  fsReadOnly,
  fsHidden,
  fsSysFile,
  fsVolumeID,
  fsDirectory,
  fsArchive,
  fsCompressed,
  fsEncrypted
};

// A set of attribute kinds: bit n for the kind of ordinal n.
class TScanAttributes {
public:
  constexpr TScanAttributes() = default;
  constexpr TScanAttributes(std::initializer_list<TScanAttribute> kinds) {
    for (TScanAttribute k : kinds)
      Include(k);
  }
  constexpr bool Contains(TScanAttribute k) const { return (FBits >> k) & 1u; }
  constexpr void Include(TScanAttribute k) { FBits = static_cast<uint16_t>(FBits | (1u << k)); }
  constexpr void Exclude(TScanAttribute k) { FBits = static_cast<uint16_t>(FBits & ~(1u << k)); }
  constexpr uint16_t Bits() const { return FBits; }
  constexpr bool operator==(const TScanAttributes&) const = default;

private:
  uint16_t FBits = 0;
};

// Whether a kind matches an item with the Windows attributes `attributes`.
bool AttributeMatches(TScanAttribute kind, uint32_t attributes);
// (not-content-indexed, or some kind of `include` matches) and no kind of `exclude` matches.
bool PassesAttributeFilter(uint32_t attributes, TScanAttributes include, TScanAttributes exclude);
// File masks: "*" any run of characters, "?" any one; ASCII letters match either case.
// "*.*" stands for "*".
bool MatchesMask(const std::string& name, const std::string& mask);

struct TScanItem {
  std::string FullPath;    // a folder's ends with the delimiter
  uint32_t RootLength = 0; // of the root folder path, its trailing delimiter included
  uint32_t Attributes = 0; // Windows attributes as the listing reported them
  uint64_t Size = 0;
  uint32_t DosDateTime = 0; // last write, local time, MS-DOS date (high) and time (low)
  std::time_t MTime = 0;
  size_t SpecIndex = 0; // which FileSpec line found it
  bool IsFolder() const {
    return !FullPath.empty() && FullPath.back() == platform::PathDelimiter();
  }
};

struct TScanSettings {
  std::vector<std::string> FileSpec; // folder path followed by a mask
  // Masks of files to leave out, matched against the name and against the path below the root.
  std::vector<std::string> ExcludeSpec;
  bool RecurseDirs = true;
  bool IncludeHiddenDirs = false;
  bool StoreEmptySubDirs = false;
  TScanAttributes Attributes;
  TScanAttributes AttributesEx;
};

class TFolderScan {
public:
  TFolderScan(const TScanSettings& settings, const bool& cancel);

  // Receives each collected item the moment it is met.
  std::function<void(TScanItem& item)> OnItem;
  // A folder whose contents could not be listed (so nothing of it is packed).
  std::function<void(const std::string& folder)> OnUnlisted;
  // A symbolic link or reparse point met by the walk: neither packed nor entered, so the
  // walk stays inside the tree and ends whatever the tree holds. Its path, as the walk met it.
  std::function<void(const std::string& path)> OnLink;
  // A pipe, socket or device (POSIX) the walk would have taken: not a file, so not packed.
  std::function<void(const std::string& path)> OnSpecial;

  // Walks every line; stops early when the cancel mark is set. A root is taken as given, so
  // a project folder reached through a link is walked.
  void Run();

  // The roots of the non-blank FileSpec lines, each with its trailing delimiter, by line.
  const std::vector<std::string>& Roots() const { return FRoots; }
  uint64_t ByteTotal() const { return FByteTotal; }
  size_t Collected() const { return FCollected; }

private:
  void Walk(const std::string& folder, size_t line, bool recurse);
  void Consider(const std::string& folder, const platform::DirEntry& e, size_t line);
  bool IsEmptyFolder(const std::string& folder);
  bool Excluded(const std::string& relative, const std::string& name) const;

  const TScanSettings& FSettings;
  const bool& FCancel;
  std::vector<std::string> FRoots;
  std::vector<std::string> FMasks;
  uint64_t FByteTotal = 0;
  size_t FCollected = 0;
};
