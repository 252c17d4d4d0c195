// Types and ids of the resources the packer adds to the stub.
#pragma once

namespace zelko {

constexpr wchar_t kConfigResourceType[] = L"ZELKO_SFX_INI";
constexpr int kConfigResourceId = 133;
constexpr wchar_t kArchiveResourceType[] = L"ARCHIVE_7Z";
constexpr int kArchiveResourceId = 131;
constexpr wchar_t kRdcArchiveResourceType[] = L"ARCHIVE_7Z_RDC";
constexpr int kRdcArchiveResourceId = 135;
// File resources: type "FILE_" followed by n, id kFileResourceBaseId + n.
constexpr wchar_t kFileResourceTypePrefix[] = L"FILE_";
constexpr int kFileResourceBaseId = 140;

}  // namespace zelko
