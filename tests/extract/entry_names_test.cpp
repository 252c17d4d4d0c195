#include "extract/entry_names.h"

#include <gtest/gtest.h>

#include <string>

namespace zelko::test {
namespace {

bool Safe(const std::u16string& name) {
  return IsSafeEntryName(reinterpret_cast<const uint16_t*>(name.data()), name.size());
}

TEST(EntryNamesTest, OrdinaryNamesPass) {
  for (const char16_t* name :
       {u"a.txt", u"docs/sub/readme.txt", u"docs\\sub\\readme.txt", u"données/日本語.txt",
        u".hidden", u"a..b", u"...x", u"CONFIG.SYS", u"nul2.txt", u"com10", u"lpt", u"a b/c d"}) {
    EXPECT_TRUE(Safe(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
  }
}

TEST(EntryNamesTest, NamesThatLeaveTheFolderOrAreNotKeptAsGivenFail) {
  for (const char16_t* name : {
           u"", u"/", u"/abs.txt", u"\\abs.txt", u"\\\\server\\share\\x", u"\\\\?\\C:\\x",
           u"C:evil.txt", u"C:\\evil.txt", u"c:/evil.txt", u"..", u".", u"../x", u"a/../../x",
           u"a\\..\\..\\x", u"a/./b", u"x.txt:stream", u"x.txt::$DATA", u"a//b", u"a/",
           u"NUL", u"nul.txt", u"CON", u"con.tar.gz", u"Aux", u"PRN.x", u"COM1", u"lpt9.log",
           u"a/CONIN$", u"NUL .txt", u"trailing.", u"trailing /x", u"dir./x"}) {
    EXPECT_FALSE(Safe(name)) << std::string(name, name + std::char_traits<char16_t>::length(name));
  }
  const char16_t withZero[] = {u'a', 0, u'b'};
  EXPECT_FALSE(IsSafeEntryName(reinterpret_cast<const uint16_t*>(withZero), 3));
}

}  // namespace
}  // namespace zelko::test
