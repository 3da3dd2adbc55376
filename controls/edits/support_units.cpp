#include "controls/edits/support_units.h"

#include "controls/edits/kc_file_utils.h"
#include "controls/edits/kc_graph_utils.h"
#include "controls/edits/kc_graphics.h"
#include "controls/edits/kc_strings.h"
#include "controls/edits/kc_sys_info.h"

namespace kv::edits {

void StartSupportUnits() {
  KcStrings::Start();
  KcFileUtils::Start();
  KcSysInfo::Start();
  KcGraphUtils::Start();
  KcGraphics::Start();
}

void EndSupportUnits() {
  KcGraphics::End();
  KcGraphUtils::End();
  KcSysInfo::End();
  KcFileUtils::End();
  KcStrings::End();
}

} // namespace kv::edits
