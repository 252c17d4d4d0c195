// The sections and keys of the configuration that the installer and the packer read, other
// than the [STRING] texts (resources/string_keys.h), each named once.
#pragma once

namespace zelko {

// [INSTALL]: the product and its payload.
constexpr wchar_t kInstallSection[] = L"INSTALL";
constexpr wchar_t kProductCodeKey[] = L"ProductCode";
constexpr wchar_t kArchiveSizeKey[] = L"ArchiveSize";
constexpr wchar_t kInstallerFolderSizeKey[] = L"InstallerFolderSizeInMB";
constexpr wchar_t kRdcArchiveSizeKey[] = L"RDCArchiveSize";
constexpr wchar_t kRdcFolderSizeKey[] = L"RDCFolderSizeInMB";
constexpr wchar_t kCompressionKey[] = L"Compression";
constexpr wchar_t kRunKey[] = L"RUN";
constexpr wchar_t kSetupArgs1Key[] = L"SetupArgs1";
constexpr wchar_t kSetupArgs2Key[] = L"SetupArgs2";

// [conditions]: what the machine must have.
constexpr wchar_t kConditionsSection[] = L"conditions";
constexpr wchar_t kMinOsKey[] = L"MinOS";
constexpr wchar_t kMinMemoryKey[] = L"MinMemory";

// [MinServicePack]: the least service pack, keyed by the system's name.
constexpr wchar_t kMinServicePackSection[] = L"MinServicePack";

}  // namespace zelko
