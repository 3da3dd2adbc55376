// Painting of TCustomExPanel: body, border and shadow, bevels, background picture, body text,
// caption bar with its buttons and text, size grip; off-screen first when Buffered.
#include <QPaintEvent>
#include <QPainter>

#include "controls/panels/ex_panel.h"
#include "controls/panels/markup_renderer.h"
#include "controls/panels/picture.h"
#include "controls/panels/picture_container.h"
#include "platform/ui/canvas.h"
#include "platform/ui/image_list.h"
#include "platform/ui/theme_library.h"

namespace kv::panels {

using namespace kv::ui;

bool TCustomExPanel::ThemedNow() const {
  return IsThemeActive();
}

void TCustomExPanel::paintEvent(QPaintEvent *) {
  const int w = width(), h = height();
  if (w <= 0 || h <= 0) return;
  if (const QSize size = PaintBufferSize(w, h); buffered_ && !size.isEmpty()) {
    QImage buffer(size, QImage::Format_RGB32);
    if (!buffer.isNull()) {
      const int dots_per_meter = qRound(std::max(1, logicalDpiY()) / 0.0254);
      buffer.setDotsPerMeterX(dots_per_meter);
      buffer.setDotsPerMeterY(dots_per_meter);
      {
        TCanvas canvas(&buffer);
        Paint(canvas);
      }
      QPainter(this).drawImage(0, 0, buffer);
      return;
    }
  }
  TCanvas canvas(static_cast<QPaintDevice *>(this));
  Paint(canvas);
}

namespace {

void PaintGlyph(TCanvas &canvas, int x, int y, const TBitmap &glyph) {
  canvas.DrawKeyed(x, y, glyph, clDefault);
}

void ThemePart(TCanvas &canvas, QWidget *widget, int part, const TRect &r) {
  if (HTHEME theme = OpenThemeData(widget, QStringLiteral("window"))) {
    DrawThemeBackground(theme, canvas.Painter(), part, 1, ToQRect(r));
    CloseThemeData(theme);
  }
}

} // namespace

std::shared_ptr<const TImageList> TCustomExPanel::TextParams(TMarkupParams &p, const TRect &r) const {
  std::shared_ptr<const TImageList> images = images_.lock();
  p.Rect = r;
  p.Images = images.get();
  p.X = 0;
  p.Y = 0;
  p.HoverLink = hover_body_;
  p.ShadowOffset = shadow_offset_;
  p.Hover = hover_;
  p.URLColor = url_color_;
  p.HoverColor = hover_color_;
  p.HoverFontColor = hover_font_color_;
  p.ShadowColor = shadow_color_;
  p.PictureCache = picture_cache_.get();
  p.PictureContainer = picture_container_;
  return images;
}

QSize TCustomExPanel::MeasureBodyText(const TRect &r, bool measure_only) {
  TCanvas canvas;
  PrepareMeasureCanvas(canvas, font_);
  TMarkupParams p;
  const auto images = TextParams(p, r);
  (measure_only ? p.MeasureOnly : p.CheckOnly) = true;
  TMarkupResult result;
  DrawMarkup(canvas, text_, p, result);
  return {result.XSize, result.YSize};
}

TRect TCustomExPanel::BodyTextRect() {
  const TPanelFrame f = Frame();
  const TRect r = BodyTextArea(f);
  return PlaceBodyText(f, r, text_valign_, text_valign_ == tvaTop ? 0 : MeasureBodyText(r, false).height());
}

TRect TCustomExPanel::CaptionTextRect() const {
  return CaptionTextArea(Frame());
}

void TCustomExPanel::Paint(TCanvas &c) {
  if (measure_) c.SetTextMeasure(measure_);
  const TPanelFrame f = Frame();
  const int bw = bevel_width_;
  TRect r = Rect(0, 0, width(), height());

  // Body.
  if (color_to_ == clNone) {
    c.Brush = {color_, bsSolid};
    c.Pen = {color_, 1, psSolid};
    c.FillRect(r);
  } else {
    DrawGradient(c, color_, color_to_, 64, r, false);
  }

  // Border and its shadow.
  if (border_color_ != clNone) {
    c.Brush.Style = bsClear;
    c.Pen = {border_color_, 1, psSolid};
    if (border_shadow_) {
      r.Right -= 2;
      r.Bottom -= 2;
    }
    c.Rectangle(r);
    if (border_shadow_) {
      c.Pen.Color = BlendColor(border_color_, clBtnFace, 50);
      c.MoveTo(r.Right, r.Top);
      c.LineTo(r.Right, r.Bottom);
      c.LineTo(r.Left, r.Bottom);
      c.Pen.Color = BlendColor(border_color_, clBtnFace, 20);
      c.MoveTo(r.Right + 1, r.Top);
      c.LineTo(r.Right + 1, r.Bottom + 1);
      c.LineTo(r.Left, r.Bottom + 1);
    }
    c.Brush.Style = bsSolid;
  }

  // Bevels.
  auto bevel = [&](TBevelCut cut) {
    const TColor light = cut == bvLowered ? clBtnShadow : clBtnHighlight;
    const TColor dark = cut == bvLowered ? clBtnHighlight : clBtnShadow;
    c.Frame3D(r, light, dark, bw);
  };
  if (bevel_outer_ != bvNone) bevel(bevel_outer_);
  if (border_color_ == clNone) c.Frame3D(r, color_, color_, 1);
  if (bevel_inner_ != bvNone) bevel(bevel_inner_);

  // Background picture and body text, clipped to the body.
  c.Brush = {color_, bsSolid};
  c.Pen = {color_, 1, psSolid};
  r = BodyClipRect(f);
  c.SetClipRect(r);
  const int pw = background_->Width(), ph = background_->Height();
  if (!background_->Empty() && pw >= 1 && ph >= 1) {
    if (background_position_ == bpStretched) {
      background_->Draw(c, r);
    } else if (background_position_ == bpTiled) {
      // Tiles from the body's top-left to the panel's right and bottom edges.
      if (QPainter *p = c.Painter()) {
        QImage tile = background_->Image();
        if (tile.width() != pw || tile.height() != ph) tile = tile.scaled(pw, ph);
        QBrush brush(tile);
        brush.setTransform(QTransform::fromTranslate(r.Left, r.Top));
        p->fillRect(QRect(r.Left, r.Top, width() - r.Left, height() - r.Top), brush);
      }
    } else {
      const QPoint at = BackgroundOrigin(background_position_, r, QSize(pw, ph), f);
      background_->Draw(c, Bounds(at.x(), at.y(), pw, ph));
    }
  }
  c.Font = font_;
  TMarkupParams p;
  const auto images = TextParams(p, BodyTextRect());
  TMarkupResult result;
  DrawMarkup(c, text_, p, result);
  c.ClearClip();

  // Caption bar.
  if (caption_->Visible()) {
    const TPanelCaption &cap = *caption_;
    r = CaptionArea(f);
    const TColor colour = collaps_ ? cap.CloseColor() : cap.Color();
    c.Brush = {colour, bsSolid};
    c.Pen = {colour, 1, psSolid};
    const TRect bar = CaptionRect(f);
    const bool themed = ThemedNow();
    const bool themed_xp = cap.ShadeType() == stXPCaption && themed;
    if (cap.ShadeType() != stNormal && (cap.ShadeType() != stXPCaption || themed)) {
      if (shade_.Width() != std::min(width(), MaxPanelExtent) || shade_.Height() != cap.Height())
        BuildShadeBitmap();
      TCaptionShadeDraw draw;
      draw.Type = cap.ShadeType();
      draw.Shape = cap.Shape();
      draw.Flat = cap.Flat();
      draw.Background = &cap.Background();
      draw.Shade = &shade_;
      draw.PanelWidth = width();
      draw.Themed = themed;
      draw.Widget = this;
      DrawCaptionShade(c, bar, draw);
    } else if (cap.ColorTo() == clNone) {
      c.Rectangle(bar);
    } else {
      DrawGradient(c, cap.Color(), cap.ColorTo(), 64, bar, true);
    }
    const bool right = cap.ButtonPosition() == cbpRight;
    // The themed buttons' place on the current edge.
    auto themed_rect = [&] {
      return right ? Rect(r.Right - 16, r.Top + 4, r.Right - 2, r.Top + 18)
                   : Rect(r.Left + 2, r.Top + 4, r.Left + 16, r.Top + 18);
    };
    if (cap.CloseButton()) {
      if (themed_xp) {
        ThemePart(c, this, WP_CLOSEBUTTON, themed_rect());
        (right ? r.Right : r.Left) += right ? -14 : 14;
      } else if (cap.CloseMinGlyph().Empty() || cap.CloseMaxGlyph().Empty()) {
        c.Pen = {cap.CloseButtonColor(), 2, psSolid};
        if (right) {
          c.MoveTo(r.Right - 10, r.Top + 4);
          c.LineTo(r.Right - 4, r.Top + 10);
          c.MoveTo(r.Right - 4, r.Top + 4);
          c.LineTo(r.Right - 10, r.Top + 10);
          r.Right -= 12;
        } else {
          c.MoveTo(r.Left + 4, r.Top + 4);
          c.LineTo(r.Left + 10, r.Top + 10);
          c.MoveTo(r.Left + 10, r.Top + 4);
          c.LineTo(r.Left + 4, r.Top + 10);
          r.Left += 12;
        }
      } else {
        const TBitmap &glyph = collaps_ ? cap.CloseMinGlyph() : cap.CloseMaxGlyph();
        if (right) {
          PaintGlyph(c, r.Right - glyph.Width(), r.Top + 2, glyph);
          r.Right -= glyph.Width();
        } else {
          PaintGlyph(c, r.Left, r.Top + 2, glyph);
          r.Left += glyph.Width();
        }
      }
    }
    if (cap.MinMaxButton()) {
      const TBitmap &glyph = collaps_ ? cap.MaxGlyph() : cap.MinGlyph();
      if (themed_xp) {
        ThemePart(c, this, collaps_ ? WP_MAXBUTTON : WP_MINBUTTON, themed_rect());
      } else if (glyph.Empty()) {
        c.Pen = {cap.MinMaxButtonColor(), 1, psSolid};
        c.Brush = {cap.MinMaxButtonColor(), bsSolid};
        const int x1 = right ? r.Right - 10 : r.Left + 4;
        const int x2 = right ? r.Right - 4 : r.Left + 10;
        const int x3 = right ? r.Right - 7 : r.Left + 7;
        const int base = collaps_ ? r.Top + 5 : r.Top + 8;
        const int tip = collaps_ ? r.Top + 8 : r.Top + 5;
        c.Polygon(QPolygon({QPoint(x1, base), QPoint(x2, base), QPoint(x3, tip)}));
      } else {
        PaintGlyph(c, right ? r.Right - glyph.Width() : r.Left, r.Top + 2, glyph);
      }
    }
    c.Font = cap.Font();
    c.Brush = {colour, bsSolid};
    TMarkupParams cp = p;
    cp.Rect = CaptionTextArea(f);
    cp.HoverLink = hover_caption_;
    TMarkupResult caption_result;
    DrawMarkup(c, cap.Text(), cp, caption_result);
  }

  // Size grip.
  if (!collaps_ && can_size_) {
    r = GripArea(f);
    c.Pen = {clGray, 2, psSolid};
    for (auto [a, b] : {std::pair{11, 11}, {6, 7}, {3, 3}}) {
      c.MoveTo(r.Right, r.Bottom - a);
      c.LineTo(r.Right - b, r.Bottom);
    }
    c.Pen = {clWhite, 1, psSolid};
    for (int a : {12, 8, 4}) {
      c.MoveTo(r.Right, r.Bottom - a);
      c.LineTo(r.Right - a, r.Bottom);
    }
  }
}

} // namespace kv::panels
