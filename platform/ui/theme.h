#pragma once
// The one switch between the plain, fixed look of the controls and drawing through the current
// QStyle. Off by default, so pictures of the controls are the same on every machine.

namespace kv::ui {

bool Themed();
void SetThemed(bool on);

} // namespace kv::ui
