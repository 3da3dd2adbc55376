// The byte-bounded table that keeps text widths, shapes and font families.
#include "platform/ui/capped_cache.h"

#include <QString>
#include <QStringList>
#include <gtest/gtest.h>

using kv::ui::TCappedCache;

TEST(CappedCache, KeepsTheMostRecentlyUsedWithinItsBytes) {
  // A view scrolls through many lines, measuring the same words on every paint.
  constexpr qsizetype kBudget = 64 << 10;
  TCappedCache<QString, int> cache(kBudget);
  const QStringList hot = {"Server", "Uhrzeit", "Synchronisieren"};
  for (const QString &word : hot)
    cache.Insert(word, int(word.size()), 100);
  for (int line = 0; line < 10000; ++line) {
    for (const QString &word : hot)
      ASSERT_NE(cache.Find(word), nullptr) << "the words of every paint stay, line " << line;
    cache.Insert(QString::number(line), line, 1000);
    ASSERT_LE(cache.Cost(), kBudget);
  }
  EXPECT_GE(cache.Cost(), kBudget - 1000);
  EXPECT_EQ(*cache.Find("9999"), 9999);
  EXPECT_EQ(cache.Find("0"), nullptr);

  // A value too dear to keep (a megabyte line) is not kept, and the one it replaces goes.
  const qsizetype size = cache.Size();
  cache.Insert("9999", 0, kBudget / 16 + 1);
  EXPECT_EQ(cache.Find("9999"), nullptr);
  EXPECT_EQ(cache.Size(), size - 1);
  EXPECT_EQ(*cache.Find(hot[2]), 15);
}
