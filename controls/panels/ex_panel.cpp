#include "controls/panels/ex_panel.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QResizeEvent>
#include <QShowEvent>
#include <QTimer>
#include <algorithm>

#include "controls/panels/ex_panel_group.h"
#include "controls/panels/markup_renderer.h"
#include "controls/panels/panel_styler.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "platform/ui/screen_cursors.h"

namespace kv::panels {

using namespace kv::ui;

QCursor CursorFor(int Cursor) {
  switch (Cursor) {
  case crDefault:
  case crArrow:
    return QCursor(Qt::ArrowCursor);
  case crNone:
    return QCursor(Qt::BlankCursor);
  case crCross:
    return QCursor(Qt::CrossCursor);
  case crIBeam:
    return QCursor(Qt::IBeamCursor);
  case crSizeNESW:
    return QCursor(Qt::SizeBDiagCursor);
  case crSizeNS:
    return QCursor(Qt::SizeVerCursor);
  case crSizeNWSE:
    return QCursor(Qt::SizeFDiagCursor);
  case crSizeWE:
    return QCursor(Qt::SizeHorCursor);
  case crUpArrow:
    return QCursor(Qt::UpArrowCursor);
  case crHourGlass:
    return QCursor(Qt::WaitCursor);
  case crNo:
    return QCursor(Qt::ForbiddenCursor);
  case crHandPoint:
    return QCursor(Qt::PointingHandCursor);
  case crSizeAll:
    return QCursor(Qt::SizeAllCursor);
  default:
    break;
  }
  return ScreenCursor(Cursor);
}

void TAutoSize::Assign(const TAutoSize &Source) {
  SetEnabled(Source.enabled_);
  height_ = Source.height_;
  width_ = Source.width_;
}

void TAutoSize::SetEnabled(bool Value) {
  enabled_ = Value;
  if (Value && panel_) panel_->DoAutoSize();
}

void TPanelPosition::Assign(const TPanelPosition &Source) {
  Key = Source.Key;
  Section = Source.Section;
  Save = Source.Save;
  Location = Source.Location;
}

TCustomExPanel::TCustomExPanel(QWidget *parent)
    : QWidget(parent), caption_(std::make_unique<TPanelCaption>()), background_(std::make_unique<TExImage>()),
      auto_size_(std::make_unique<TAutoSize>(this)), position_(std::make_unique<TPanelPosition>(this)),
      picture_cache_(std::make_unique<THTMLPictureCache>()) {
  setAttribute(Qt::WA_OpaquePaintEvent);
  setMouseTracking(true);
  caption_->OnChange = [this](TPanelCaption *) { CaptionChanged(); };
  caption_->OnShadeChange = [this](TPanelCaption *) { BuildShadeBitmap(); };
  caption_->OnStateChange = [this](TPanelCaption *) { CaptionStateChanged(); };
  background_->OnChange = [this](TGraphic *) { update(); };
  collapse_timer_ = new QTimer(this);
  connect(collapse_timer_, &QTimer::timeout, this, &TCustomExPanel::CollapseTimerTick);
  saved_color_ = color_;
  full_height_ = height();
  load_width_ = width();
  load_height_ = height();
  UpdateContentsMargins();
}

TCustomExPanel::~TCustomExPanel() {
  collapse_timer_->stop();
  if (styler_) styler_->Unregister(this);
  if (position_->Save) SavePosition();
}

void TCustomExPanel::Loaded() {
  loading_ = false;
  loaded_ = true;
  if (position_->Save) LoadPosition();
  client_origin_ = mapToGlobal(QPoint(0, 0));
  load_width_ = width();
  load_height_ = height();
  load_cursor_ = cursor_;
  saved_color_ = color_;
  if (styler_) ApplyPanelSettings(this, styler_->Settings());
}

void TCustomExPanel::showEvent(QShowEvent *event) {
  QWidget::showEvent(event);
  if (!loaded_ && !loading_) Loaded();
}

void TCustomExPanel::Assign(const QObject *Source) {
  const auto *s = dynamic_cast<const TCustomExPanel *>(Source);
  if (!s) throw EInvalidCast();
  if (s == this) return;
  SetAnchorHint(s->anchor_hint_);
  SetAutoHideChildren(s->auto_hide_children_);
  SetBackground(*s->background_);
  SetBackgroundPosition(s->background_position_);
  SetBevelInner(s->bevel_inner_);
  SetBevelOuter(s->bevel_outer_);
  SetBevelWidth(s->bevel_width_);
  SetBorderColor(s->border_color_);
  SetBorderShadow(s->border_shadow_);
  SetBorderStyle(s->border_style_);
  SetCanMove(s->can_move_);
  SetCanSize(s->can_size_);
  SetCaption(*s->caption_);
  SetCollapsColor(s->collaps_color_);
  SetCollapsDelay(s->collaps_delay_);
  SetCollapsSteps(s->collaps_steps_);
  SetColor(s->color_);
  SetColorTo(s->color_to_);
  SetCursor(s->cursor_);
  SetEnabled(s->Enabled());
  SetFont(s->font_);
  SetFixedTop(s->fixed_top_);
  SetFixedLeft(s->fixed_left_);
  SetFixedHeight(s->fixed_height_);
  SetFixedWidth(s->fixed_width_);
  SetFreeOnClose(s->free_on_close_);
  SetHeight(s->Height());
  SetHelpContext(s->help_context_);
  SetHint(s->hint_);
  SetHover(s->hover_);
  SetHoverColor(s->hover_color_);
  SetHoverFontColor(s->hover_font_color_);
  SetImages(s->images_.lock());
  SetParentColor(s->parent_color_);
  SetParentFont(s->parent_font_);
  SetParentShowHint(s->parent_show_hint_);
  SetPictureContainer(s->picture_container_);
  SetPopupMenu(s->popup_menu_);
  SetPosition(*s->position_);
  SetShadowColor(s->shadow_color_);
  SetShadowOffset(s->shadow_offset_);
  SetShowHint(s->show_hint_);
  SetShowMoveCursor(s->show_move_cursor_);
  SetTabStop(s->TabStop());
  SetTag(s->tag_);
  SetText(s->text_);
  SetTextVAlign(s->text_valign_);
  SetURLColor(s->url_color_);
  SetVisible(s->Visible());
}

// --- property setters

void TCustomExPanel::SetText(const QString &Value) {
  text_ = Value;
  update();
  DoAutoSize();
}

void TCustomExPanel::SetBackground(const TExImage &Value) {
  background_->Assign(&Value);
  update();
}

void TCustomExPanel::SetBackgroundPosition(TBackGroundPosition Value) {
  background_position_ = Value;
  update();
}

void TCustomExPanel::SetColorTo(TColor Value) {
  color_to_ = Value;
  update();
}

void TCustomExPanel::SetBorderColor(TColor Value) {
  border_color_ = Value;
  update();
}

void TCustomExPanel::SetBorderShadow(bool Value) {
  border_shadow_ = Value;
  update();
}

void TCustomExPanel::SetImages(const std::shared_ptr<const TImageList> &Value) {
  images_ = Value;
  update();
}

TPictureContainer *TCustomExPanel::PictureContainer() const {
  return picture_container_;
}

TExPanelStyler *TCustomExPanel::Styler() const {
  return styler_;
}

QMenu *TCustomExPanel::PopupMenu() const {
  return popup_menu_;
}

void TCustomExPanel::SetPopupMenu(QMenu *Value) {
  popup_menu_ = Value;
}

void TCustomExPanel::SetPictureContainer(TPictureContainer *Value) {
  picture_container_ = Value;
}

void TCustomExPanel::SetURLColor(TColor Value) {
  url_color_ = Value;
  update();
}

void TCustomExPanel::SetShadowColor(TColor Value) {
  shadow_color_ = Value;
  update();
}

void TCustomExPanel::SetShadowOffset(int Value) {
  shadow_offset_ = Value;
  update();
}

void TCustomExPanel::SetTextVAlign(TTextVAlignment Value) {
  text_valign_ = Value;
  update();
}

void TCustomExPanel::SetIndent(int Value) {
  indent_ = Value;
  update();
}

void TCustomExPanel::SetTopIndent(int Value) {
  top_indent_ = Value;
  update();
}

void TCustomExPanel::SetCanSize(bool Value) {
  can_size_ = Value;
  update();
}

void TCustomExPanel::SetStyler(TExPanelStyler *Value) {
  if (styler_ == Value) {
    if (Value && !loading_) ApplyPanelSettings(this, Value->Settings());
    return;
  }
  if (styler_) styler_->Unregister(this);
  styler_ = Value;
  if (!Value) return;
  Value->Register(this);
  if (!loading_) ApplyPanelSettings(this, Value->Settings());
}

void TCustomExPanel::SetColor(TColor Value) {
  color_ = Value;
  update();
}

void TCustomExPanel::SetFont(const TFont &Value) {
  font_ = Value;
  update();
}

void TCustomExPanel::SetBevelInner(TBevelCut Value) {
  bevel_inner_ = Value;
  update();
}

void TCustomExPanel::SetBevelOuter(TBevelCut Value) {
  bevel_outer_ = Value;
  update();
}

void TCustomExPanel::SetBevelWidth(int Value) {
  bevel_width_ = std::max(1, Value);
  update();
}

void TCustomExPanel::SetBorderWidth(int Value) {
  border_width_ = std::max(0, Value);
  update();
}

void TCustomExPanel::SetCursor(int Value) {
  cursor_ = Value;
  setCursor(CursorFor(Value));
}

void TCustomExPanel::SetHeight(int Value) {
  Value = std::clamp(Value, 0, MaxPanelExtent);
  resize(width(), Value);
  if (!collaps_ && !collapsing_) full_height_ = Value;
}

// --- caption hooks

void TCustomExPanel::CaptionChanged() {
  UpdateContentsMargins();
  update();
}

void TCustomExPanel::CaptionStateChanged() {
  UpdateContentsMargins();
  StateChanged();
}

// Child controls laid out on the panel start below a visible caption.
void TCustomExPanel::UpdateContentsMargins() {
  const int top = caption_->Visible() ? caption_->Height() : 0;
  if (contentsMargins().top() != top) setContentsMargins(0, top, 0, 0);
}

// --- collapse and expand

void TCustomExPanel::ShowChildren(bool show) {
  for (QWidget *child : findChildren<QWidget *>(Qt::FindDirectChildrenOnly))
    if (!IsOwnChild(child) && !child->isWindow()) child->setVisible(show);
}

void TCustomExPanel::SetCollaps(bool Value) {
  if (collapsing_) {
    // Wait for the running animation; only the last wish counts.
    if (Value != collaps_)
      queued_collaps_ = Value;
    else
      queued_collaps_.reset();
    return;
  }
  if (collaps_ && !Value && OnMaximize) OnMaximize(this);
  if (!collaps_ && Value && OnMinimize) OnMinimize(this);
  if (Value == collaps_) {
    StateChanged();
    return;
  }
  collapsing_ = true;
  collaps_ = Value;
  if (loading_) {
    FinishCollapse();
    return;
  }
  if (Value) {
    full_height_ = height();
    if (auto_hide_children_) ShowChildren(false);
    saved_color_ = color_;
    if (collaps_steps_ > 0) SetColor(collaps_color_);
    collapse_step_ = CollapseStep(height(), caption_->Height(), collaps_steps_);
  } else {
    if (collaps_steps_ > 0) SetColor(saved_color_);
    collapse_step_ = CollapseStep(full_height_, caption_->Height(), collaps_steps_);
  }
  collapse_steps_left_ = std::max(0, collaps_steps_);
  if (collapse_steps_left_ == 0) {
    CollapseTimerTick();
    return;
  }
  CollapseTimerTick();
  collapse_timer_->start(std::max(0, collaps_delay_));
}

void TCustomExPanel::CollapseTimerTick() {
  if (!collapsing_) return;
  if (collapse_steps_left_ > 0) {
    --collapse_steps_left_;
    SetHeight(height() + (collaps_ ? -collapse_step_ : collapse_step_));
    ReArrangeGroup();
    return;
  }
  collapse_timer_->stop();
  if (collaps_) {
    SetHeight(caption_->Height());
  } else {
    SetHeight(full_height_);
    if (auto_hide_children_) ShowChildren(true);
  }
  ReArrangeGroup();
  FinishCollapse();
}

void TCustomExPanel::FinishCollapse() {
  collapsing_ = false;
  StateChanged();
  if (free_after_collapse_) {
    queued_collaps_.reset();
    deleteLater();
    return;
  }
  if (queued_collaps_) {
    const bool next = *queued_collaps_;
    queued_collaps_.reset();
    if (next != collaps_) SetCollaps(next);
  }
}

void TCustomExPanel::ReArrangeGroup() {
  if (auto *group = qobject_cast<TExPanelGroup *>(parentWidget())) group->ArrangeControls();
}

// --- auto-size

void TCustomExPanel::PrepareMeasureCanvas(TCanvas &canvas, const TFont &font) const {
  if (!measure_ && !qt_measure_) qt_measure_ = std::make_unique<TQtTextMeasure>(std::max(1, logicalDpiY()));
  canvas.SetTextMeasure(measure_ ? measure_ : qt_measure_.get());
  canvas.Font = font;
}

void TCustomExPanel::DoAutoSize() {
  if (!auto_size_->Enabled()) return;
  const int bw = bevel_width_;
  const int w = auto_size_->Width() ? 65535 : width() - 2 * bw;
  const int h = auto_size_->Height() ? 65535 : height() - 2 * bw;
  const QSize text = MeasureBodyText(Rect(0, 0, w, h), true);
  const QSize fitted = AutoSizeFor(text, size(), auto_size_->Width(), auto_size_->Height(), bw,
                                   caption_->Visible(), caption_->Height());
  if (auto_size_->Width()) resize(fitted.width(), height());
  if (auto_size_->Height()) SetHeight(fitted.height());
  ReArrangeGroup();
}

// --- window events

void TCustomExPanel::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  if (shade_.Width() != width()) BuildShadeBitmap();
  update();
  if (OnResize) OnResize(this);
}

void TCustomExPanel::contextMenuEvent(QContextMenuEvent *event) {
  if (popup_menu_) {
    popup_menu_->popup(event->globalPos());
    event->accept();
    return;
  }
  QWidget::contextMenuEvent(event);
}

void TCustomExPanel::BuildShadeBitmap() {
  if (shade_seed_)
    shade_random_.Seed(*shade_seed_);
  else
    shade_random_.Reseed();
  const TShadeInput input{caption_->Color(), caption_->ShadeLight(), caption_->ShadeGrain(),
                          caption_->ShadeType()};
  shade_.Assign(BuildShade(std::min(width(), MaxPanelExtent), caption_->Height(), input, shade_random_));
}

TPanelFrame TCustomExPanel::Frame() const {
  TPanelFrame f;
  f.Width = width();
  f.Height = height();
  f.BevelWidth = bevel_width_;
  f.Bevel = bevel_inner_ != bvNone || bevel_outer_ != bvNone;
  f.BorderWidth = border_width_;
  f.BorderShadow = border_shadow_;
  f.Indent = indent_;
  f.TopIndent = top_indent_;
  f.CaptionVisible = caption_->Visible();
  f.CaptionHeight = caption_->Height();
  f.CaptionIndent = caption_->Indent();
  f.CaptionTopIndent = caption_->TopIndent();
  f.ButtonPosition = caption_->ButtonPosition();
  f.CloseButton = caption_->CloseButton();
  f.MinMaxButton = caption_->MinMaxButton();
  f.Collapsed = collaps_;
  f.CanSize = can_size_;
  const bool themed_xp = caption_->ShadeType() == stXPCaption && ThemedNow();
  const bool close_glyphs = !caption_->CloseMinGlyph().Empty() && !caption_->CloseMaxGlyph().Empty();
  const TBitmap &close_glyph = collaps_ ? caption_->CloseMinGlyph() : caption_->CloseMaxGlyph();
  if (themed_xp)
    f.CloseAdvance = 14;
  else if (caption_->CloseMinGlyph().Empty() || caption_->CloseMaxGlyph().Empty())
    f.CloseAdvance = 12;
  else
    f.CloseAdvance = close_glyph.Width();
  int w = 12;
  if (close_glyphs) w = caption_->CloseMinGlyph().Width();
  if (!caption_->MinGlyph().Empty() && !caption_->MaxGlyph().Empty()) w = caption_->MaxGlyph().Width();
  if (themed_xp) w = 16;
  f.ButtonWidth = w;
  return f;
}

} // namespace kv::panels
