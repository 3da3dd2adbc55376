// The custom caret's data: owner check, change notices (one per Assign), the picture's stored
// form, and which shape it asks its edit for.
#include "controls/edits/caret.h"

#include <gtest/gtest.h>

#include "qt_application.h"

using namespace kv::edits;

namespace {

class Owner : public TKvCaretOwner {
public:
  bool focused = true;
  bool refuse_gray = false;
  std::vector<TCaretShape> created;
  int shown = 0;

  bool CaretOwnerFocused() const override { return focused; }
  bool CreateCaret(const TCaretShape &shape) override {
    if (refuse_gray && shape.kind == TCaretShape::Gray) return false;
    created.push_back(shape);
    return true;
  }
  void ShowCaret() override { ++shown; }
};

kv::ui::TBitmap Picture(int w, int h) {
  kv::ui::TBitmap b(w, h);
  b.SetPixel(0, 0, kv::ui::clBlack);
  return b;
}

} // namespace

TEST(Caret, NeedsAnOwner) {
  try {
    TKvCaret caret(nullptr);
    FAIL();
  } catch (const EKvException &e) {
    EXPECT_EQ(e.Message(), "TKvCaret.Create: cannot be created without valid Owner");
  }
}

TEST(Caret, AssignTakesEverythingWithOneNotice) {
  Owner owner;
  TKvCaret source(&owner);
  source.SetBitmap(Picture(3, 8));
  source.SetWidth(4);
  source.SetHeight(16);
  source.SetGray(true);
  TKvCaret target(&owner);
  int notices = 0;
  target.OnChanged = [&](TKvCaret *) { ++notices; };
  target.Assign(source);
  EXPECT_EQ(notices, 1);
  EXPECT_EQ(target.Width(), 4);
  EXPECT_EQ(target.Height(), 16);
  EXPECT_TRUE(target.Gray());
  EXPECT_EQ(target.Bitmap().Image(), source.Bitmap().Image());
  // A setter that changes nothing raises no notice; a new picture resets size and grey.
  target.SetWidth(4);
  EXPECT_EQ(notices, 1);
  target.SetBitmap(Picture(2, 2));
  EXPECT_EQ(notices, 2);
  EXPECT_EQ(target.Width(), 0);
  EXPECT_FALSE(target.Gray());
}

TEST(Caret, StoresItsPictureOnlyWhenThereIsOne) {
  Owner owner;
  TKvCaret caret(&owner);
  EXPECT_TRUE(caret.StoredBitmap().isEmpty());
  caret.SetBitmap(Picture(5, 7));
  const QByteArray stored = caret.StoredBitmap();
  ASSERT_FALSE(stored.isEmpty());
  TKvCaret copy(&owner);
  copy.LoadStoredBitmap(stored);
  EXPECT_EQ(copy.Bitmap().Width(), 5);
  EXPECT_EQ(copy.Bitmap().Pixel(0, 0), kv::ui::clBlack);
  EXPECT_EQ(copy.Bitmap().Pixel(1, 0), kv::ui::clWhite);
}

TEST(Caret, AppliesTheShapeItDescribes) {
  Owner owner;
  TKvCaret caret(&owner);
  caret.OnChanged = [](TKvCaret *c) { c->Apply(); };
  caret.Apply(); // nothing set: the usual cursor stays
  EXPECT_TRUE(owner.created.empty());
  EXPECT_EQ(owner.shown, 0);

  caret.SetBitmap(Picture(2, 9));
  ASSERT_EQ(owner.created.size(), 1u);
  EXPECT_EQ(owner.created[0].kind, TCaretShape::Bitmap);
  EXPECT_EQ(owner.created[0].Picture.Height(), 9);

  caret.SetWidth(3);
  EXPECT_EQ(owner.created.back().kind, TCaretShape::Solid);
  EXPECT_EQ(owner.created.back().Width, 3);
  // A grey caret the edit cannot make falls back to a solid one of the same size.
  owner.refuse_gray = true;
  caret.SetGray(true);
  EXPECT_EQ(owner.created.back().kind, TCaretShape::Solid);
  EXPECT_EQ(owner.shown, 3);

  owner.focused = false;
  caret.SetHeight(12);
  EXPECT_EQ(owner.shown, 3);
}
