// The styler: its four presets, one OnChange per preset, the update bracket, and which panels
// take the settings over.
#include <gtest/gtest.h>

#include "controls/panels/ex_panel.h"
#include "controls/panels/panel_styler.h"
#include "qt_application.h"

using namespace kv::panels;
using namespace kv::ui;

namespace {

struct Preset {
  TExPanelStyle style;
  TColor color, color_to;
  const char *font, *caption_font;
  TColor caption_font_color;
  TShadeType shade;
  int light;
  TBevelCut outer;
  bool shadow;
  TColor caption_color, caption_color_to;
  bool caption_visible;
  int caption_indent;
};

std::string PresetName(const ::testing::TestParamInfo<Preset> &info) {
  const char *const names[] = {"XP", "Flat", "Metal", "Classic"};
  return names[info.param.style];
}

class StylerPresets : public ::testing::TestWithParam<Preset> {};

TEST_P(StylerPresets, SetTheirValues) {
  const Preset &e = GetParam();
  TExPanelStyler styler;
  styler.Settings().Caption().SetIndent(9);       // kept by psClassic
  styler.Settings().Caption().SetShadeLight(222); // kept by psXP and psFlat
  int changes = 0;
  styler.Settings().OnChange = [&](TExPanelSettings *) { ++changes; };
  styler.SetStyle(e.style);
  EXPECT_EQ(changes, 1);
  const TExPanelSettings &s = styler.Settings();
  EXPECT_EQ(s.Color(), e.color);
  EXPECT_EQ(s.ColorTo(), e.color_to);
  EXPECT_EQ(s.Font().Name, e.font);
  EXPECT_EQ(s.Caption().Font().Name, e.caption_font);
  EXPECT_EQ(s.Caption().Font().Color, e.caption_font_color);
  EXPECT_EQ(s.Caption().ShadeType(), e.shade);
  EXPECT_EQ(s.Caption().ShadeLight(), e.light);
  EXPECT_EQ(s.BevelInner(), bvNone);
  EXPECT_EQ(s.BevelOuter(), e.outer);
  EXPECT_EQ(s.BorderColor(), clGray);
  EXPECT_EQ(s.BorderShadow(), e.shadow);
  EXPECT_EQ(s.BorderStyle(), bsNone);
  EXPECT_EQ(s.CollapsColor(), clBtnFace);
  EXPECT_EQ(s.Caption().Color(), e.caption_color);
  EXPECT_EQ(s.Caption().ColorTo(), e.caption_color_to);
  EXPECT_EQ(s.Caption().Visible(), e.caption_visible);
  EXPECT_EQ(s.Caption().Height(), 20);
  EXPECT_EQ(s.Caption().Indent(), e.caption_indent);
  styler.SetStyle(e.style);
  EXPECT_EQ(changes, 2) << "the same style again applies again";
}

INSTANTIATE_TEST_SUITE_P(
    Styles, StylerPresets,
    ::testing::Values(Preset{psXP, clWhite, 0xE3F0F2, "Verdana", "Verdana", clHighlightText, stNormal, 222,
                             bvNone, true, clHighlight, clBlue, true, 2},
                      Preset{psFlat, clBtnFace, clNone, "Tahoma", "Tahoma", clHighlightText, stNormal, 222,
                             bvNone, false, clHighlight, clNone, true, 0},
                      Preset{psMetal, clWhite, 0xE4E4E4, "Tahoma", "Tahoma", clBlack, stRMetal, 255, bvNone,
                             true, clWhite, clNone, true, 4},
                      Preset{psClassic, clBtnFace, clNone, "MS Sans Serif", "MS Sans Serif", clHighlightText,
                             stNormal, 255, bvRaised, false, clWhite, clNone, false, 9}),
    PresetName);

TEST(PanelSettings, DefaultsAndTheUpdateBracket) {
  TExPanelSettings s;
  EXPECT_EQ(s.Color(), clBtnFace);
  EXPECT_EQ(s.Height(), 120);
  EXPECT_EQ(s.BorderStyle(), bsSingle);
  EXPECT_EQ(s.BevelWidth(), 1);
  EXPECT_EQ(s.URLColor(), clBlue);
  EXPECT_EQ(s.Position(), nullptr);
  int changes = 0;
  s.OnChange = [&](TExPanelSettings *) { ++changes; };
  s.SetHover(true);
  s.SetColor(clRed);   // stored without a change
  s.Font().Size = 12;  // the own font in place: no change
  s.SetFont(s.Font()); // but through the setter
  s.Caption().SetText("x");
  EXPECT_EQ(changes, 3);
  s.BeginUpdate();
  s.BeginUpdate();
  s.SetIndent(4);
  s.EndUpdate();
  EXPECT_EQ(changes, 3);
  s.EndUpdate();
  EXPECT_EQ(changes, 4);
  s.EndUpdate(); // unbalanced
  EXPECT_EQ(s.UpdateCount(), 0);
  EXPECT_EQ(changes, 4);
  TExPanelSettings copy;
  copy.Assign(s);
  EXPECT_EQ(copy.Indent(), 4);
  EXPECT_EQ(copy.Color(), clRed);
  EXPECT_EQ(copy.Caption().Text(), "x");
}

TEST(PanelStyler, OnlyPanelsNamingTheStylerTakeItsSettings) {
  QWidget form;
  auto *one = new TExPanelStyler(&form);
  auto *two = new TExPanelStyler(&form);
  two->SetStyle(psClassic);
  auto *a = new TExPanel(&form);
  auto *b = new TExPanel(&form);
  auto *c = new TExPanel(&form);
  a->SetStyler(one);
  EXPECT_EQ(a->Color(), clWhite) << "applied when set";
  EXPECT_TRUE(a->BorderShadow());
  b->SetStyler(two);
  EXPECT_EQ(b->BevelOuter(), bvRaised);
  c->SetColor(clYellow);
  one->Settings().SetBorderColor(clRed);
  EXPECT_EQ(a->BorderColor(), clRed);
  EXPECT_EQ(b->BorderColor(), clGray);
  EXPECT_EQ(c->BorderColor(), clBlack);
  EXPECT_EQ(c->Color(), clYellow);
  // Every change re-applies Collaps, too.
  a->SetCollaps(true);
  one->Settings().SetHover(true);
  EXPECT_FALSE(a->Collaps());
  // Loading: the panel takes the settings at Loaded.
  auto *d = new TExPanel(&form);
  d->BeginLoading();
  d->SetStyler(one);
  EXPECT_EQ(d->BorderColor(), clBlack);
  d->Loaded();
  EXPECT_EQ(d->BorderColor(), clRed);
  // A loading styler keeps its stored settings and tells nobody.
  one->BeginLoading();
  one->SetStyle(psClassic);
  one->Settings().SetBorderColor(clGreen);
  EXPECT_EQ(one->Style(), psXP);
  EXPECT_EQ(a->BorderColor(), clRed);
  one->Loaded();
}

} // namespace
