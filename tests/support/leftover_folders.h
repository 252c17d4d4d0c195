// Support folders as killed runs leave them in a temporary folder, for the tests of their
// removal: files are aged by their times, never by waiting.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace zelko::test {

// Sets the last-write time of the file at `path` to `minutes` before now.
bool AgeFile(const std::wstring& path, int minutes);

// Writes each of `names` into the folder `folder` (made when missing), last written `minutes`
// ago, as a run that was killed long ago leaves its files.
bool MakeAgedFiles(const std::wstring& folder, const std::vector<std::wstring>& names,
                   int minutes);

// Folders in a temporary folder that a run must leave alone: each looks like a killed run's
// support folder but for one thing (a name with a letter, another entry, an empty folder, a
// link, a folder of one of our file names, a file under an hour old).
class LeftoversThatStay {
 public:
  // Makes them in `temp`; the link leads to a folder made in `outside` (made when missing).
  LeftoversThatStay(const std::wstring& temp, const std::wstring& outside);
  // Each one, and what the link leads to, is as it was made.
  void ExpectUntouched() const;
  // Their names in `temp`.
  std::vector<std::wstring> Names() const;

 private:
  std::wstring temp_;
  std::wstring linkTarget_;
  std::vector<std::pair<std::wstring, std::vector<std::wstring>>> folders_;  // name, entries
};

}  // namespace zelko::test
