// Moving and sizing a panel with the mouse, and saving and loading its place.
#include "controls/panels/ex_panel_position.h"

#include <QDir>
#include <QFileInfo>
#include <QMouseEvent>
#include <QScreen>
#include <QSettings>
#include <QStyle>

#include "controls/panels/ex_panel.h"
#include "platform/registry.h"

namespace kv::panels {

using namespace kv::ui;

namespace {

class TRegistryPositionStore : public TPositionStore {
public:
  explicit TRegistryPositionStore(std::string key) : key_(std::move(key)) {}
  std::optional<int> ReadInteger(const QString &Name) override {
    try {
      kv::platform::TRegistry reg;
      const std::string name = Name.toStdString();
      if (!reg.OpenKeyReadOnly(key_) || !reg.ValueExists(name)) return std::nullopt;
      return reg.ReadInteger(name);
    } catch (const std::exception &) {
      return std::nullopt;
    }
  }
  bool WriteIntegers(const std::vector<std::pair<QString, int>> &Values) override {
    try {
      kv::platform::TRegValues values;
      for (const auto &[name, value] : Values)
        values.Integer(name.toStdString(), value);
      kv::platform::TRegistry().WriteValues(key_, values);
      return true;
    } catch (const std::exception &) {
      return false;
    }
  }

private:
  std::string key_;
};

class TIniPositionStore : public TPositionStore {
public:
  TIniPositionStore(const QString &file, const QString &section)
      : settings_(file, QSettings::IniFormat), section_(section) {}
  std::optional<int> ReadInteger(const QString &Name) override {
    const QVariant v = settings_.value(section_ + QLatin1Char('/') + Name);
    bool ok = false;
    const int value = v.toString().trimmed().toInt(&ok);
    return ok ? std::optional<int>(value) : std::nullopt;
  }
  bool WriteIntegers(const std::vector<std::pair<QString, int>> &Values) override {
    for (const auto &[name, value] : Values)
      settings_.setValue(section_ + QLatin1Char('/') + name, value);
    settings_.sync();
    return settings_.status() == QSettings::NoError;
  }

private:
  QSettings settings_;
  QString section_;
};

} // namespace

QString PositionIniFile(const QString &key) {
  if (key.contains(QLatin1Char('/'))) return key;
  const QFileInfo registry(QString::fromStdString(kv::platform::TRegistry::DefaultFileName()));
  return registry.dir().filePath(key);
}

std::unique_ptr<TPositionStore> OpenPositionStore(const TPanelPosition &position) {
  if (position.Key.isEmpty() || position.Section.isEmpty()) return nullptr;
  if (position.Location == clInifile)
    return std::make_unique<TIniPositionStore>(PositionIniFile(position.Key), position.Section);
  QString key = position.Key;
  key.replace(QLatin1Char('/'), QLatin1Char('\\'));
  while (key.endsWith(QLatin1Char('\\')))
    key.chop(1);
  return std::make_unique<TRegistryPositionStore>((key + QLatin1Char('\\') + position.Section).toStdString());
}

QRect TCustomExPanel::PlacementArea() const {
  if (const QWidget *parent = parentWidget()) return parent->rect();
  if (const QScreen *s = screen()) return s->availableGeometry();
  return QRect(0, 0, MaxPanelExtent, MaxPanelExtent);
}

void TCustomExPanel::LoadPosition() {
  const std::unique_ptr<TPositionStore> store = OpenPositionStore(*position_);
  if (!store) return;
  const int height_before = height();
  TSavedPosition p;
  p.Top = store->ReadInteger(QStringLiteral("Top")).value_or(y());
  p.Left = store->ReadInteger(QStringLiteral("Left")).value_or(x());
  const std::optional<int> saved_height = store->ReadInteger(QStringLiteral("Height"));
  p.Height = saved_height.value_or(height());
  p.Width = store->ReadInteger(QStringLiteral("Width")).value_or(width());
  p.Collaps = store->ReadInteger(QStringLiteral("Collaps")).value_or(0) == 1;
  // Without a saved full height, the saved height if it is an expanded one, else the height
  // the panel had; never the collapsed height, so the panel can expand again.
  const std::optional<int> saved_full = store->ReadInteger(QStringLiteral("FullHeight"));
  if (saved_full)
    p.FullHeight = *saved_full;
  else if (saved_height && *saved_height > caption_->Height())
    p.FullHeight = *saved_height;
  else
    p.FullHeight = height_before;
  p = ClampSavedPosition(p, PlacementArea(), QSize(1, 1), caption_->Visible() ? caption_->Height() : 1);
  move(p.Left, p.Top);
  SetHeight(p.Height);
  SetWidth(p.Width);
  SetCollaps(p.Collaps);
  full_height_ = p.FullHeight;
}

void TCustomExPanel::SavePosition() {
  const std::unique_ptr<TPositionStore> store = OpenPositionStore(*position_);
  if (!store) return;
  store->WriteIntegers({{QStringLiteral("Top"), y()},
                        {QStringLiteral("Left"), x()},
                        {QStringLiteral("Height"), height()},
                        {QStringLiteral("FullHeight"), full_height_},
                        {QStringLiteral("Width"), width()},
                        {QStringLiteral("Collaps"), collaps_ ? 1 : 0}});
}

// --- moving and sizing

bool TCustomExPanel::InMoveZone(int x, int y) {
  if (!can_move_ || !InCaptionDragStrip(Frame(), QPoint(x, y))) return false;
  QString anchor;
  TRect anchor_rect;
  GetAnchorAt(x, y, anchor, anchor_rect);
  return anchor.isEmpty();
}

bool TCustomExPanel::InSizeZone(int x, int y) const {
  return InSizeGrip(Frame(), QPoint(x, y), style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this));
}

void TCustomExPanel::UpdateZoneCursor(int x, int y) {
  if (dragging_by_caption_ && show_move_cursor_)
    setCursor(Qt::SizeAllCursor);
  else if (InSizeZone(x, y))
    setCursor(Qt::SizeFDiagCursor);
  else
    setCursor(CursorFor(cursor_));
}

void TCustomExPanel::mouseMoveEvent(QMouseEvent *event) {
  const QPoint global = event->globalPosition().toPoint();
  if (drag_ == TDrag::Move) {
    const QRect proposed = drag_start_geometry_.translated(global - drag_start_global_);
    move(ConstrainMove(proposed, pos(), fixed_left_, fixed_top_).topLeft());
    return;
  }
  if (drag_ == TDrag::Size) {
    const QPoint delta = global - drag_start_global_;
    const QRect proposed(drag_start_geometry_.topLeft(),
                         drag_start_geometry_.size() + QSize(delta.x(), delta.y()));
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const QSize minimum(extent, std::max(extent, caption_->Visible() ? caption_->Height() : 0));
    const QRect sized =
        ConstrainSize(proposed, QSize(load_width_, load_height_), fixed_width_, fixed_height_, minimum);
    resize(sized.size());
    full_height_ = sized.height();
    return;
  }
  const QPoint p = event->position().toPoint();
  PanelMouseMove(p.x(), p.y());
  // Over its caption strip or its grip the panel comes to the front, as a window would.
  if (InMoveZone(p.x(), p.y())) {
    dragging_by_caption_ = true;
    raise();
  } else if (InSizeZone(p.x(), p.y())) {
    raise();
  }
  UpdateZoneCursor(p.x(), p.y());
}

void TCustomExPanel::mouseReleaseEvent(QMouseEvent *event) {
  if (drag_ == TDrag::None) return QWidget::mouseReleaseEvent(event);
  drag_ = TDrag::None;
  client_origin_ = mapToGlobal(QPoint(0, 0));
  QPointer<TCustomExPanel> self(this);
  if (OnEndMoveSize) OnEndMoveSize(this);
  if (self) ReArrangeGroup();
}

} // namespace kv::panels
