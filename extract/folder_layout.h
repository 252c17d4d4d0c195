// One 7z folder as the archive database describes it: its coders, how their streams connect,
// the unpacked size of every coder and where every packed stream lies. Both ways of decoding
// a folder read it from here: into one buffer (the SDK's header reader) and front to back
// through a bounded window (the extraction).
#pragma once

#include <cstddef>

#include "7z.h"

namespace zelko {

// Method ids as the archive stores them. The branch filters have an old long id and a new
// short one; archives carry either.
constexpr UInt32 kMethodCopy = 0x00;
constexpr UInt32 kMethodDelta = 0x03;
constexpr UInt32 kMethodX86 = 0x04;
constexpr UInt32 kMethodPpc = 0x05;
constexpr UInt32 kMethodIa64 = 0x06;
constexpr UInt32 kMethodArm = 0x07;
constexpr UInt32 kMethodArmt = 0x08;
constexpr UInt32 kMethodSparc = 0x09;
constexpr UInt32 kMethodArm64 = 0x0A;
constexpr UInt32 kMethodRiscv = 0x0B;
constexpr UInt32 kMethodLzma2 = 0x21;
constexpr UInt32 kMethodLzma = 0x030101;
constexpr UInt32 kMethodBcjX86 = 0x03030103;
constexpr UInt32 kMethodBcj2 = 0x0303011B;
constexpr UInt32 kMethodPpcLong = 0x03030205;
constexpr UInt32 kMethodIa64Long = 0x03030401;
constexpr UInt32 kMethodArmLong = 0x03030501;
constexpr UInt32 kMethodArmtLong = 0x03030701;
constexpr UInt32 kMethodSparcLong = 0x03030805;

enum class CoderKind { kMain, kFilter, kBcj2, kUnsupported };

CoderKind KindOf(UInt32 method);

struct FolderLayout {
  CSzFolder folder;
  const Byte* codersData = nullptr;  // the folder's coder records; properties are inside
  UInt64 unpackSizes[SZ_NUM_CODERS_IN_FOLDER_MAX] = {};
  UInt64 packPositions[SZ_NUM_PACK_STREAMS_IN_FOLDER_MAX] = {};
  UInt64 packSizes[SZ_NUM_PACK_STREAMS_IN_FOLDER_MAX] = {};
  UInt32 firstInStream[SZ_NUM_CODERS_IN_FOLDER_MAX] = {};
};

// Where one input stream of a coder comes from: a packed stream or another coder's output.
struct StreamSource {
  bool packed = false;
  UInt32 index = 0;  // packed stream index or coder index
};

// Reads folder `folderIndex` of `p`, whose packed streams start at `startPos` of the archive.
SRes ReadLayout(const CSzAr* p, UInt32 folderIndex, UInt64 startPos, FolderLayout* layout);

// Where input `stream` of `coder` comes from.
SRes SourceOf(const FolderLayout& layout, UInt32 coder, UInt32 stream, StreamSource* source);

// The shapes we decode: one main coder; a filter over a main coder; BCJ2 over three main
// coders and one packed stream. Main coders read a packed stream. Everything else is refused
// (SZ_ERROR_UNSUPPORTED) before any byte is read.
SRes CheckSupported(const FolderLayout& layout);

// `value` as a size_t; false when it does not fit.
bool ToSize(UInt64 value, size_t* size);

}  // namespace zelko
