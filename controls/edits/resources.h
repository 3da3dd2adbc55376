#pragma once
// Our own pictures of the edit controls (arrows, cursors, glyphs), kept in edits.qrc and reached
// by name as ":/edits/<name>.png".

#include <QString>

#include "platform/ui/bitmap.h"

namespace kv::edits {

// Registers the pictures with Qt; a static library's resources must be registered by name.
// Cheap to call again.
void InitEditsResources();
// The picture of that name; empty when there is none.
ui::TBitmap LoadResourceBitmap(const QString &name);

} // namespace kv::edits
