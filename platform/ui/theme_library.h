#pragma once
// Window parts (caption bar, caption buttons) in the look of the current desktop style, behind
// the four calls a control makes to a visual-styles library: are themes active, open the theme
// data of a class for a widget, draw a part, close. The functions are bound when the layer
// starts (at program start); the built-in set draws through QStyle. A set that lacks one of the
// functions leaves the layer unavailable: every call then answers "not themed" or does nothing,
// and the program runs on in the plain look. Themes count as active only while the Themed()
// switch is on.

#include <QRect>
#include <QString>
#include <functional>

class QPainter;
class QWidget;

namespace kv::ui {

// Parts of the "window" class.
constexpr int WP_CAPTION = 1;
constexpr int WP_MINBUTTON = 15;
constexpr int WP_MAXBUTTON = 17;
constexpr int WP_CLOSEBUTTON = 18;

// Open theme data: the class names asked for and the widget they are drawn for.
struct TThemeData {
  QString ClassList;
  QWidget *Widget = nullptr;
};
using HTHEME = TThemeData *;

// The functions the layer binds. A missing one makes the whole layer unavailable.
struct TThemeFunctions {
  std::function<bool()> IsThemeActive;
  // nullptr when the class has no theme data.
  std::function<HTHEME(QWidget *widget, const QString &class_list)> OpenThemeData;
  // Draws `part` in `state` into `rect`; false when the part is not known.
  std::function<bool(HTHEME theme, QPainter *painter, int part, int state, const QRect &rect)>
      DrawThemeBackground;
  std::function<void(HTHEME theme)> CloseThemeData;
};

// The functions drawn through the application's QStyle.
TThemeFunctions QtStyleThemeFunctions();

// Counted start and end: the first start binds `functions` (all four must be there), the last
// end releases them. Returns whether the layer is available.
bool StartThemeLibrary(const TThemeFunctions &functions = QtStyleThemeFunctions());
void EndThemeLibrary();
bool ThemeLibraryAvailable();

// The bound functions, safe to call when the layer is unavailable: then themes are not active,
// nothing opens and nothing is drawn.
bool IsThemeActive();
HTHEME OpenThemeData(QWidget *widget, const QString &class_list);
bool DrawThemeBackground(HTHEME theme, QPainter *painter, int part, int state, const QRect &rect);
void CloseThemeData(HTHEME theme);

} // namespace kv::ui
