#include <cstdio>

#include "tools/pack_console.h"
#include "tools/utf_text.h"

namespace zelko::pack {

void WriteLine(OutputStream stream, const std::wstring& line) {
  const std::string bytes = Utf8FromUtf16(line + L"\n");
  std::FILE* file = stream == OutputStream::kOut ? stdout : stderr;
  std::fwrite(bytes.data(), 1, bytes.size(), file);
  std::fflush(file);
}

}  // namespace zelko::pack
