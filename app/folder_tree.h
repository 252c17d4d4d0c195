// Removal of folder trees that never leaves the tree it was given.
#pragma once

#include <string>

namespace zelko {

// Deletes `folder` with everything in it, depth first; read-only files go too. A junction or
// symbolic link inside is removed itself and never entered, so nothing outside the tree is
// touched. Paths of three characters or fewer (a drive root) are left alone. What cannot be
// deleted is logged and left in place.
void DeleteFolderTree(std::wstring folder);

}  // namespace zelko
