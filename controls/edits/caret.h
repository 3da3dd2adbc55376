#pragma once
// TKvCaret: the look of an edit's text cursor: a picture, or a block of a given size, solid or
// grey. It applies itself whenever it changes while its edit has the focus, and each time the
// edit gains the focus.

#include <QByteArray>
#include <functional>

#include "controls/edits/edit_types.h"
#include "platform/ui/bitmap.h"

namespace kv::edits {

// What the edit draws as its text cursor.
struct TCaretShape {
  enum Kind { Bitmap, Solid, Gray } kind = Solid;
  int Width = 0;       // 0: the usual cursor width
  int Height = 0;      // 0: the line's height
  ui::TBitmap Picture; // for Bitmap
};

// The edit a caret belongs to.
class TKvCaretOwner {
public:
  virtual ~TKvCaretOwner() = default;
  virtual bool CaretOwnerFocused() const = 0;
  virtual bool CaretOwnerDesigning() const { return false; }
  // Makes `shape` the edit's text cursor; false when it cannot be made.
  virtual bool CreateCaret(const TCaretShape &shape) = 0;
  virtual void ShowCaret() = 0;
};

class TKvCaret {
public:
  // Raises EKvException when there is no owner.
  explicit TKvCaret(TKvCaretOwner *owner);
  virtual ~TKvCaret();
  TKvCaret(const TKvCaret &) = delete;
  TKvCaret &operator=(const TKvCaret &) = delete;

  // Taking a picture resets the size to 0 × 0 and the grey switch.
  const ui::TBitmap &Bitmap() const { return Bitmap_; }
  void SetBitmap(const ui::TBitmap &bitmap);
  int Width() const { return Width_; }
  void SetWidth(int value);
  int Height() const { return Height_; }
  void SetHeight(int value);
  bool Gray() const { return Gray_; }
  void SetGray(bool value);

  // Takes picture, size and grey switch of another caret, with one change notice.
  void Assign(const TKvCaret &source);

  // The picture in its stored form ("CaretBitmap"); empty when there is no picture, which is
  // then not stored.
  QByteArray StoredBitmap() const;
  void LoadStoredBitmap(const QByteArray &data);

  std::function<void(TKvCaret *Sender)> OnChanged;

  // Makes the owner's text cursor look like this caret when the owner has the focus.
  void Apply();

protected:
  virtual void Changed();

private:
  ui::TBitmap Bitmap_;
  int Width_ = 0;
  int Height_ = 0;
  bool Gray_ = false;
  TKvCaretOwner *Owner_ = nullptr;
  int UpdateCount_ = 0;
};

} // namespace kv::edits
