// Progress of the extraction in KB, shown on the dialog's bar or sent to the updater's pipe.
#pragma once

#include <cstdint>

namespace zelko {

// Adds `amountKB` to the work done; called on the main thread by the resource writer, the
// archive extraction and the folder decoder.
void ReportProgress(uint32_t amountKB);

}  // namespace zelko
