#pragma once
// TKvxSpeedButton: a push button with a picture and a caption, optionally flat, transparent,
// with a drop-down menu, repeating while held, and grouped with its sibling buttons so that one
// of them stays down. The rules live in TSpeedButtonModel, the picture in TKvButtonGlyph; this
// widget feeds them its events and paints.

#include <QPointer>
#include <QWidget>
#include <functional>

#include "controls/edits/button_glyph.h"
#include "controls/edits/speed_button_model.h"
#include "platform/ui/font.h"

class QAction;
class QTimer;

namespace kv::edits {

class TKvxSpeedButton : public QWidget {
  Q_OBJECT

public:
  explicit TKvxSpeedButton(QWidget *parent = nullptr);
  ~TKvxSpeedButton() override;

  TAlignment Alignment() const { return alignment_; }
  void SetAlignment(TAlignment value);
  bool AllowAllUp() const { return model_.AllowAllUp(); }
  void SetAllowAllUp(bool value) { model_.SetAllowAllUp(value); }
  bool AllowTimer() const { return model_.AllowTimer(); }
  void SetAllowTimer(bool value);
  int GroupIndex() const { return model_.GroupIndex(); }
  void SetGroupIndex(int value) { model_.SetGroupIndex(value); }
  bool Down() const { return model_.Down(); }
  void SetDown(bool value) { model_.SetDown(value); }
  ui::TPopupMenu *DropDownMenu() const { return menu_; }
  void SetDropDownMenu(ui::TPopupMenu *menu);
  TKvDropDownMenuPos MenuPosition() const { return model_.MenuPosition; }
  void SetMenuPosition(TKvDropDownMenuPos value) { model_.MenuPosition = value; }
  const QString &Caption() const { return caption_; }
  void SetCaption(const QString &value);
  bool Flat() const { return model_.Flat(); }
  void SetFlat(bool value) { model_.SetFlat(value); }
  bool FlatStandard() const { return model_.FlatStandard(); }
  void SetFlatStandard(bool value) { model_.SetFlatStandard(value); }
  const ui::TBitmap &Glyph() const { return glyph_.Glyph(); }
  void SetGlyph(const ui::TBitmap &bitmap);
  bool GrayedInactive() const { return model_.GrayedInactive(); }
  void SetGrayedInactive(bool value) { model_.SetGrayedInactive(value); }
  bool GrayNewStyle() const { return glyph_.GrayNewStyle(); }
  void SetGrayNewStyle(bool value);
  int InitPause() const { return model_.InitPause; }
  void SetInitPause(int value) { model_.InitPause = value; }
  TButtonLayout Layout() const { return layout_; }
  void SetLayout(TButtonLayout value);
  int Margin() const { return model_.Margin(); }
  void SetMargin(int value) { model_.SetMargin(value); }
  bool MarkDropDown() const { return model_.MarkDropDown(); }
  void SetMarkDropDown(bool value) { model_.SetMarkDropDown(value); }
  int ModalResult() const { return modal_result_; }
  void SetModalResult(int value) { modal_result_ = value; }
  int NumGlyphs() const { return glyph_.NumGlyphs(); }
  void SetNumGlyphs(int value);
  int RepeatInterval() const { return model_.RepeatInterval; }
  void SetRepeatInterval(int value) { model_.RepeatInterval = value; }
  int Spacing() const { return spacing_; }
  void SetSpacing(int value);
  TButtonStyle Style() const { return model_.Style(); }
  void SetStyle(TButtonStyle value) { model_.SetStyle(value); }
  bool Transparent() const { return model_.Transparent(); }
  void SetTransparent(bool value) { model_.SetTransparent(value); }
  bool WordWrap() const { return glyph_.WordWrap; }
  void SetWordWrap(bool value);
  // The caption's font (colour included); the button face colour is clBtnFace.
  const ui::TFont &Font() const { return font_; }
  void SetFont(const ui::TFont &font);
  QAction *Action() const { return action_; }
  // Binds an action: caption, hint, enabled and visible state follow it, a click triggers it,
  // in a group Down follows its check state, and its icon becomes the glyph when there is none.
  void SetAction(QAction *action);

  TNotifyEvent OnClick, OnDblClick, OnMouseEnter, OnMouseLeave;

  // The click: the form's modal result (when not 0), then the action or OnClick.
  virtual void Click();
  TSpeedButtonModel &Model() { return model_; }
  TKvButtonGlyph &ButtonGlyph() { return glyph_; }
  QTimer *RepeatTimer() const { return timer_; }
  // A tick of the repeat timer, as the timer calls it.
  void RepeatTick();

  QSize sizeHint() const override { return {25, 25}; }

protected:
  // Draws picture, caption and mark into `rect`; returns the caption's rectangle.
  virtual ui::TRect PaintFace(ui::TCanvas &canvas, const ui::TRect &rect, bool mark, TButtonDrawState state);
  // Paints the whole button onto `canvas` (what paintEvent shows).
  void PaintButton(ui::TCanvas &canvas);

  bool event(QEvent *event) override;
  void paintEvent(QPaintEvent *event) override;
  void mousePressEvent(QMouseEvent *event) override;
  void mouseMoveEvent(QMouseEvent *event) override;
  void mouseReleaseEvent(QMouseEvent *event) override;
  void mouseDoubleClickEvent(QMouseEvent *event) override;
  void enterEvent(QEnterEvent *event) override;
  void leaveEvent(QEvent *event) override;
  void changeEvent(QEvent *event) override;
  void showEvent(QShowEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void Broadcast();
  void RecheckPointer();
  void UpdateShortcut();
  void ActionChange(bool only_defaults);
  ui::TTextFlags AlignmentFlags() const;
  bool PointerOver() const;

  TSpeedButtonModel model_;
  TKvButtonGlyph glyph_;
  TAlignment alignment_ = taCenter;
  TButtonLayout layout_ = blGlyphTop;
  int spacing_ = 1;
  int modal_result_ = 0;
  QString caption_;
  ui::TFont font_;
  QPointer<ui::TPopupMenu> menu_;
  QPointer<QAction> action_;
  QTimer *timer_ = nullptr;
  int shortcut_id_ = 0;
};

} // namespace kv::edits
