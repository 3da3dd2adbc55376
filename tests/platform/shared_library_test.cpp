// The run-time loader against libraries of the system: binding by name, letting go of what it
// loaded, and the one German message for a library that is missing, lacks a function or is refused.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using kv::platform::TSharedLibrary;

TEST(SharedLibrary, BindsByNameAndSaysInGermanWhatIsMissing) {
  TSharedLibrary m;
  ASSERT_TRUE(m.Open("libm.so.6")) << m.Error();
  double (*cosine)(double) = nullptr;
  ASSERT_TRUE(m.Bind("cos", cosine));
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_NE(m.Path().find("/libm.so.6"), std::string::npos) << m.Path();
  void (*none)() = nullptr;
  EXPECT_FALSE(m.Bind("korvane_optional", none, false));
  EXPECT_TRUE(m.Usable()) << "an optional function may be missing";
  EXPECT_FALSE(m.Bind("korvane_needed", none));
  m.Refuse("Version 1 ist zu alt");
  EXPECT_FALSE(m.Usable());
  EXPECT_EQ(m.Error(), "Die Bibliothek libm.so.6 ist nicht nutzbar: Ihr fehlt die Funktion korvane_needed.")
      << "the first reason counts";

  TSharedLibrary old;
  ASSERT_TRUE(old.Open("libm.so.6"));
  old.Refuse("Version 1 ist zu alt");
  EXPECT_EQ(old.Error(), "Die Bibliothek libm.so.6 ist nicht nutzbar: Version 1 ist zu alt.");

  TSharedLibrary missing;
  EXPECT_FALSE(missing.Open("libkorvane-none.so.1"));
  EXPECT_FALSE(missing.Usable());
  EXPECT_EQ(missing.Error(),
            "Die Bibliothek libkorvane-none.so.1 ist nicht nutzbar: Sie lässt sich nicht laden "
            "(libkorvane-none.so.1: cannot open shared object file: No such file or directory).");
  EXPECT_EQ(missing.Symbol("cos"), nullptr);
}

TEST(SharedLibrary, TheHandleClosesWhatItLoadedUnlessKept) {
  const char *name = "libz.so.1";
  auto loaded = [&] {
    void *h = ::dlopen(name, RTLD_NOW | RTLD_NOLOAD);
    if (h) ::dlclose(h);
    return h != nullptr;
  };
  if (loaded()) GTEST_SKIP() << name << " is loaded by something else";
  {
    TSharedLibrary z;
    ASSERT_TRUE(z.Open(name)) << z.Error();
    TSharedLibrary moved = std::move(z);
    EXPECT_TRUE(loaded());
  }
  EXPECT_FALSE(loaded());
  TSharedLibrary kept;
  ASSERT_TRUE(kept.Open(name));
  kept.Keep();
  kept.Close();
  EXPECT_TRUE(loaded());
}
