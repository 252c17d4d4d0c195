#include "app/resource_file.h"

#include <windows.h>

#include "win/file.h"

namespace zelko {

int WriteResourceFile(const std::wstring& path, int id, const wchar_t* type) {
  HRSRC resource = ::FindResourceW(nullptr, MAKEINTRESOURCEW(id), type);
  HGLOBAL loaded = resource != nullptr ? ::LoadResource(nullptr, resource) : nullptr;
  const void* bytes = loaded != nullptr ? ::LockResource(loaded) : nullptr;
  if (bytes == nullptr) return ERROR_INVALID_HANDLE;
  CFile file;
  if (!file.Open(path.c_str(), GENERIC_WRITE, 0, CREATE_ALWAYS)) return ERROR_INVALID_HANDLE;
  try {
    file.Write(bytes, ::SizeofResource(nullptr, resource));
  } catch (const CFileException&) {
    return ERROR_WRITE_FAULT;
  }
  return 0;
}

}  // namespace zelko
