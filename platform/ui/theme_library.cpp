#include "platform/ui/theme_library.h"

#include <QApplication>
#include <QIcon>
#include <QPainter>
#include <QStyle>
#include <QStyleOptionTitleBar>
#include <QWidget>

#include "platform/ui/theme.h"

namespace kv::ui {

namespace {

struct TBinding {
  int starts = 0;
  bool available = false;
  TThemeFunctions functions;
};

TBinding &Binding() {
  static TBinding binding;
  return binding;
}

QStyle *StyleFor(const TThemeData *theme) {
  if (theme && theme->Widget) return theme->Widget->style();
  return qApp ? QApplication::style() : nullptr;
}

bool QtDrawPart(HTHEME theme, QPainter *painter, int part, int state, const QRect &rect) {
  QStyle *style = StyleFor(theme);
  if (!style || !painter || !painter->isActive()) return false;
  QWidget *widget = theme->Widget;
  if (part == WP_CAPTION) {
    QStyleOptionTitleBar option;
    if (widget) option.initFrom(widget);
    option.rect = rect;
    option.state |= QStyle::State_Active;
    if (state != 1) option.state &= ~QStyle::State_Active;
    // The caption of an active window, whether or not the panel's window has the focus.
    option.palette.setCurrentColorGroup(state == 1 ? QPalette::Active : QPalette::Inactive);
    // Styles read the active look from the title bar's own state bits.
    option.titleBarState = int(Qt::WindowActive) | int(option.state & QStyle::State_Active);
    option.titleBarFlags = Qt::Window | Qt::WindowTitleHint;
    option.subControls = QStyle::SC_TitleBarLabel;
    style->drawComplexControl(QStyle::CC_TitleBar, &option, painter, widget);
    return true;
  }
  QStyle::StandardPixmap pixmap;
  switch (part) {
  case WP_CLOSEBUTTON:
    pixmap = QStyle::SP_TitleBarCloseButton;
    break;
  case WP_MINBUTTON:
    pixmap = QStyle::SP_TitleBarMinButton;
    break;
  case WP_MAXBUTTON:
    pixmap = QStyle::SP_TitleBarMaxButton;
    break;
  default:
    return false;
  }
  style->standardIcon(pixmap, nullptr, widget).paint(painter, rect);
  return true;
}

} // namespace

TThemeFunctions QtStyleThemeFunctions() {
  TThemeFunctions f;
  f.IsThemeActive = [] { return Themed() && qApp != nullptr; };
  f.OpenThemeData = [](QWidget *widget, const QString &class_list) -> HTHEME {
    if (class_list.compare(QLatin1String("window"), Qt::CaseInsensitive) != 0) return nullptr;
    return new TThemeData{class_list, widget};
  };
  f.DrawThemeBackground = QtDrawPart;
  f.CloseThemeData = [](HTHEME theme) { delete theme; };
  return f;
}

bool StartThemeLibrary(const TThemeFunctions &functions) {
  TBinding &b = Binding();
  if (b.starts++ > 0) return b.available;
  b.available = functions.IsThemeActive && functions.OpenThemeData && functions.DrawThemeBackground &&
                functions.CloseThemeData;
  b.functions = b.available ? functions : TThemeFunctions{};
  return b.available;
}

void EndThemeLibrary() {
  TBinding &b = Binding();
  if (b.starts == 0 || --b.starts > 0) return;
  b.available = false;
  b.functions = TThemeFunctions{};
}

bool ThemeLibraryAvailable() {
  return Binding().available;
}

bool IsThemeActive() {
  const TBinding &b = Binding();
  return b.available && b.functions.IsThemeActive();
}

HTHEME OpenThemeData(QWidget *widget, const QString &class_list) {
  const TBinding &b = Binding();
  return b.available ? b.functions.OpenThemeData(widget, class_list) : nullptr;
}

bool DrawThemeBackground(HTHEME theme, QPainter *painter, int part, int state, const QRect &rect) {
  const TBinding &b = Binding();
  return b.available && theme && b.functions.DrawThemeBackground(theme, painter, part, state, rect);
}

void CloseThemeData(HTHEME theme) {
  const TBinding &b = Binding();
  if (b.available && theme) b.functions.CloseThemeData(theme);
}

namespace {
// The layer starts with the program and ends with it.
struct TThemeLibraryLifetime {
  TThemeLibraryLifetime() { StartThemeLibrary(); }
  ~TThemeLibraryLifetime() { EndThemeLibrary(); }
} g_theme_library_lifetime;
} // namespace

} // namespace kv::ui
