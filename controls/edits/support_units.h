#pragma once
// Start-up of the edit library's five support units (KcStrings, KcFileUtils, KcSysInfo,
// KcGraphUtils, KcGraphics): their tables and system facts are prepared when a program starts
// and released when it ends. Both programs hold one SupportUnitsScope for their whole run.

namespace kv::edits {

// Starts the units in unit order; each start is counted, so nested calls are cheap.
void StartSupportUnits();
// Ends them in the reverse order.
void EndSupportUnits();

class SupportUnitsScope {
public:
  SupportUnitsScope() { StartSupportUnits(); }
  ~SupportUnitsScope() { EndSupportUnits(); }
  SupportUnitsScope(const SupportUnitsScope &) = delete;
  SupportUnitsScope &operator=(const SupportUnitsScope &) = delete;
};

} // namespace kv::edits
