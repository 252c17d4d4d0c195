// Reading a Windows command line as the C runtime splits it.
#pragma once

namespace zelko {

// The first argument after the program name in `commandLine` (blanks skipped), or its end.
// The name ends at the closing quote when it starts with one, even with no blank after it,
// else at the first blank, as the runtime takes argument 0.
const wchar_t* ArgumentsAfterProgramName(const wchar_t* commandLine);

}  // namespace zelko
