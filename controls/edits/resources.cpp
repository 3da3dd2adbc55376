#include "controls/edits/resources.h"

// Outside any namespace, as Q_INIT_RESOURCE requires.
static void RegisterEditsResources() {
  Q_INIT_RESOURCE(edits);
}

namespace kv::edits {

void InitEditsResources() {
  static const bool registered = (RegisterEditsResources(), true);
  (void)registered;
}

ui::TBitmap LoadResourceBitmap(const QString &name) {
  InitEditsResources();
  ui::TBitmap bitmap;
  bitmap.LoadFromFile(QStringLiteral(":/edits/%1.png").arg(name));
  return bitmap;
}

} // namespace kv::edits
