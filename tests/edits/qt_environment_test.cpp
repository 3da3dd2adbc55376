// Gives the whole edits test binary its QApplication.
#include "qt_environment.h"

KVTEST_QT_APPLICATION();
