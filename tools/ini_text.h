// The installer's configuration as the packer stores it. People write the INI file in whatever
// their editor saves (UTF-8 with or without a byte-order mark, UTF-16 in either byte order),
// while the installer reads exactly one form: UTF-16LE with a byte-order mark and CR LF line
// ends. Decoding and encoding are separate steps so that the text can be changed in between.
#pragma once

#include <string>
#include <vector>

namespace zelko::pack {

struct IniDecodeResult {
  bool ok = false;
  // The decoded text without a byte-order mark, every line end as CR LF.
  std::wstring text;
  // Why the bytes are not text the installer can use, when !ok: a clause that follows
  // "the configuration", such as "is not valid UTF-8 (...) in line 3".
  std::wstring error;
};

// Decodes a configuration file's bytes. Accepted: UTF-8 with or without a byte-order mark;
// UTF-16LE or UTF-16BE with a byte-order mark; UTF-16LE without one, recognised by the zero
// high bytes of its ASCII characters. Invalid UTF-8, unpaired UTF-16 surrogates and NUL
// characters are refused, with the line where they occur. CR LF, a lone LF and a lone CR all
// become CR LF.
IniDecodeResult DecodeIniText(const std::string& bytes);

// Sets `key` in `section` of the decoded `text` to `value`: the key's line is replaced where it
// stands (section and key are found without regard to case, as the installer finds them),
// else added at the end of the section, which is added at the end of the text when missing.
void SetIniValue(std::wstring* text, const std::wstring& section, const std::wstring& key,
                 const std::wstring& value);

// Whether two section or key names are the same for the installer's profile reader, which
// ignores case. Only ASCII letters are folded: every name the installer asks for is ASCII.
bool SameIniName(const std::wstring& a, const std::wstring& b);

// The value of `key` in `section` of the decoded `text` as the installer's profile reader sees
// it: the first section of that name, its first line with that key, the value without its
// surrounding blanks and without one pair of enclosing quotes; empty when absent.
std::wstring IniValue(const std::wstring& text, const std::wstring& section,
                      const std::wstring& key);

// The names of every section of the decoded `text`, as written and in file order.
std::vector<std::wstring> IniSectionNames(const std::wstring& text);

// The keys of the first section named `section` in the decoded `text`, as written.
std::vector<std::wstring> IniKeys(const std::wstring& text, const std::wstring& section);

// The bytes of the configuration resource: FF FE, then `text` as UTF-16LE.
std::string EncodeIniResource(const std::wstring& text);

}  // namespace zelko::pack
