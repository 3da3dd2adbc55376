#include "controls/edits/caret.h"

#include <QBuffer>
#include <QImageReader>
#include <QImageWriter>
#include <cerrno>

#include "controls/edits/str_util.h"

namespace kv::edits {

TKvCaret::TKvCaret(TKvCaretOwner *owner) : Owner_(owner) {
  if (!owner) throw EKvException(QStringLiteral("TKvCaret.Create: cannot be created without valid Owner"));
}

TKvCaret::~TKvCaret() = default;

void TKvCaret::SetBitmap(const ui::TBitmap &bitmap) {
  Bitmap_ = bitmap;
  Width_ = 0;
  Height_ = 0;
  Gray_ = false;
  Changed();
}

void TKvCaret::SetWidth(int value) {
  if (value == Width_) return;
  Width_ = value;
  Changed();
}

void TKvCaret::SetHeight(int value) {
  if (value == Height_) return;
  Height_ = value;
  Changed();
}

void TKvCaret::SetGray(bool value) {
  if (value == Gray_) return;
  Gray_ = value;
  Changed();
}

void TKvCaret::Assign(const TKvCaret &source) {
  ++UpdateCount_;
  try {
    SetBitmap(source.Bitmap_);
    SetWidth(source.Width_);
    SetHeight(source.Height_);
    SetGray(source.Gray_);
  } catch (...) {
    --UpdateCount_;
    Changed();
    throw;
  }
  --UpdateCount_;
  Changed();
}

void TKvCaret::Changed() {
  if (UpdateCount_ == 0 && OnChanged) OnChanged(this);
}

QByteArray TKvCaret::StoredBitmap() const {
  if (Bitmap_.Empty()) return {};
  QByteArray data;
  QBuffer buffer(&data);
  buffer.open(QIODevice::WriteOnly);
  QImageWriter(&buffer, "BMP").write(Bitmap_.Image());
  return data;
}

void TKvCaret::LoadStoredBitmap(const QByteArray &data) {
  QBuffer buffer;
  buffer.setData(data);
  buffer.open(QIODevice::ReadOnly);
  SetBitmap(ui::TBitmap(QImageReader(&buffer, "BMP").read()));
}

void TKvCaret::Apply() {
  if (!Owner_->CaretOwnerFocused() || Owner_->CaretOwnerDesigning()) return;
  TCaretShape shape;
  if (Width_ == 0 && Height_ == 0 && !Gray_) {
    // Without size or picture the edit keeps its usual text cursor.
    if (Bitmap_.Empty()) return;
    shape.kind = TCaretShape::Bitmap;
    shape.Picture = Bitmap_;
    if (!Owner_->CreateCaret(shape))
      throw EKvException(QStringLiteral("Der Textcursor konnte nicht erzeugt werden."));
  } else {
    shape.kind = Gray_ ? TCaretShape::Gray : TCaretShape::Solid;
    shape.Width = Width_;
    shape.Height = Height_;
    if (!Owner_->CreateCaret(shape)) {
      shape.kind = TCaretShape::Solid;
      Owner_->CreateCaret(shape);
    }
  }
  Owner_->ShowCaret();
}

} // namespace kv::edits
