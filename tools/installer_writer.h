// Writes an installer: the stub's image with a rebuilt resource section that holds the stub's
// own resources and the installer's, and with everything after that section moved behind it.
// Plain C++ over the packer's file layer, so the same writer runs on Linux and on Windows.
// Archive and file data is copied from its file in chunks while the installer is written, so
// memory stays small whatever the payload.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "tools/pe_image.h"
#include "tools/resource_section.h"

namespace zelko::pack {

// Every image the packer writes is smaller than this in memory (SizeOfImage): Windows loads
// executable images of at most 2 GiB (a 64-bit program reaches its own data with signed
// 32-bit displacements), so the packer stays below that mark.
constexpr uint64_t kImageSizeLimit = 0x80000000u;

// A stub read and checked: its bytes, headers and resources.
struct Stub {
  std::string bytes;
  PeImage image;
  std::vector<ResourceItem> resources;
  size_t resourceSection = 0;  // index in image.sections
};

// Checks that `bytes` are a stub the packer can build from and fills `stub`. False with the
// reason in `why`, a clause that follows "the stub": not a PE image, signed (a signature would
// not cover what the packer adds; sign the installer instead), already holding installer
// resources (it would keep whichever the new build leaves out), without a resource section,
// or with a section after its resources that cannot move.
bool ReadStub(std::string bytes, Stub* stub, std::wstring* why);

// The installer's layout: the stub with `added` in its resource section.
struct InstallerPlan {
  const Stub* stub = nullptr;
  std::vector<ResourceItem> items;  // the stub's resources, then the added ones
  ResourceLayout layout;
  std::string headers;          // the stub's bytes up to its resource section, fields updated
  uint32_t sectionRawSize = 0;  // the resource section's size in the file
};

// Lays out the installer. False when its image would reach kImageSizeLimit, with `why` a sentence that
// names the sizes.
bool PlanInstaller(const Stub& stub, std::vector<ResourceItem> added, InstallerPlan* plan,
                   std::wstring* why);

// Writes the planned installer to `output`, replacing an existing file only when the whole
// installer was written. False with a message naming the file at fault and the cause.
bool WriteInstaller(const InstallerPlan& plan, const std::wstring& output, std::wstring* error);

// Whether `type` is one of the installer's resource types (ZELKO_SFX_INI, ARCHIVE_7Z,
// ARCHIVE_7Z_RDC, FILE_ followed by digits), in any case.
bool IsInstallerResourceType(const std::wstring& type);

}  // namespace zelko::pack
