// The run-time loader against libraries of the system: binding by name, letting go of what it
// loaded, and the one German message for a library that is missing, lacks a function or is refused.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using kv::platform::TSharedLibrary;

TEST(SharedLibrary, BindsByNameAndSaysInGermanWhatIsMissing) {
  TSharedLibrary m, old, missing;
  ASSERT_TRUE(m.Open("libm.so.6") && old.Open("libm.so.6")) << m.Error();
  double (*cosine)(double) = nullptr;
  ASSERT_TRUE(m.Bind("cos", cosine));
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_NE(m.Path().find("/libm.so.6"), std::string::npos) << m.Path();
  void (*none)() = nullptr;
  EXPECT_FALSE(m.Bind("korvane_optional", none, false));
  EXPECT_TRUE(m.Usable()) << "an optional function may be missing";
  EXPECT_FALSE(m.Bind("korvane_needed", none));
  m.Refuse("Version 1 ist zu alt");
  EXPECT_EQ(m.Error(), "Die Bibliothek libm.so.6 ist nicht nutzbar: Ihr fehlt die Funktion korvane_needed.");
  old.Refuse("Version 1 ist zu alt");
  EXPECT_EQ(old.Error(), "Die Bibliothek libm.so.6 ist nicht nutzbar: Version 1 ist zu alt.");
  EXPECT_FALSE(missing.Open("libkorvane-none.so.1"));
  EXPECT_EQ(missing.Error(),
            "Die Bibliothek libkorvane-none.so.1 ist nicht nutzbar: Sie lässt sich nicht laden "
            "(libkorvane-none.so.1: cannot open shared object file: No such file or directory).");
  EXPECT_FALSE(m.Usable() || old.Usable() || missing.Usable());
}

TEST(SharedLibrary, TheHandleClosesWhatItLoadedUnlessKept) {
  auto loaded = [] {
    void *h = ::dlopen("libz.so.1", RTLD_NOW | RTLD_NOLOAD);
    return h && ::dlclose(h) == 0;
  };
  if (loaded()) GTEST_SKIP() << "libz.so.1 is loaded by something else";
  TSharedLibrary z;
  ASSERT_TRUE(z.Open("libz.so.1")) << z.Error();
  EXPECT_TRUE(loaded());
  z.Close();
  EXPECT_FALSE(loaded());
  ASSERT_TRUE(z.Open("libz.so.1"));
  z.Keep();
  z.Close();
  EXPECT_TRUE(loaded());
}
