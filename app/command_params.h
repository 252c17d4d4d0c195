// The program's command line: a run of its own switches, then everything else, which is passed
// on unchanged to the setup program.
//
//   /sfx_ne  do not start the setup program     /sfx_nu  silent (no window, no message box)
//   /sfx_va  validate the archive size          /sfx_db  log the parameters and stop
//   /sfx_nd  recorded only                      /sfx_o<folder>  extract into <folder>
//   /Kiv or /K  started by the updater service (silent, does not start the setup program)
// "nos" may stand for "sfx", "-" for "/", and case does not matter. In the passed-on part,
// /sAll, /q and /qn also make the run silent and /re asks for the result in the registry.
#pragma once

namespace zelko {

struct CommandParams {
  // `commandLine` is the full process command line, program name included; `argv` the
  // argument vector the runtime derived from it. Both must outlive the record: its pointers
  // point into them.
  CommandParams(const wchar_t* commandLine, int argc, wchar_t* const* argv);
  virtual ~CommandParams() = default;

  // Writes the members that are set to the run log.
  void Log() const;

  const wchar_t* outputFolder_ = nullptr;  // into the argument, after "/sfx_o"
  const wchar_t* passToSetup_ = nullptr;   // into the command line, at the first passed-on argument
  bool bSilent_ = false;
  bool bDoNotExecute_ = false;
  bool bDoNotDelete_ = false;
  bool bBasicUI_ = false;
  bool bValidate_ = false;
  bool bDebug_ = false;
  bool bKiv_ = false;
  bool bVuh_ = false;
};

}  // namespace zelko
