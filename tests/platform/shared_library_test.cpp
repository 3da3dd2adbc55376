// The run-time loader against libraries of the system: binding by name, letting go of what it
// loaded, and the one German message for a library that is missing, lacks a function or is refused.
#include "platform/shared_library.h"

#include <gtest/gtest.h>

#include <dlfcn.h>

using kv::platform::TSharedLibrary;

TEST(SharedLibrary, BindsByNameAndSaysInGermanWhatIsMissing) {
  TSharedLibrary m, missing;
  ASSERT_TRUE(m.Open("libm.so.6")) << m.Error();
  double (*cosine)(double) = nullptr;
  ASSERT_TRUE(m.Bind("cos", cosine));
  EXPECT_EQ(cosine(0.0), 1.0);
  EXPECT_NE(m.Path().find("/libm.so.6"), std::string::npos) << m.Path();
  void (*none)() = nullptr;
  EXPECT_FALSE(m.Bind("korvane_optional", none, false));
  EXPECT_TRUE(m.Usable()) << "an optional function may be missing";
  EXPECT_FALSE(m.Bind("korvane_needed", none));
  m.RefuseVersion("1", "2");
  EXPECT_EQ(m.Fault(), kv::platform::TLibraryFault::LacksFunction) << "the first fault is kept";
  EXPECT_EQ(m.Error(), "Der Bibliothek libm.so.6 fehlt die Funktion korvane_needed.");
  EXPECT_FALSE(missing.Open("libkorvane-none.so.1"));
  EXPECT_EQ(missing.Fault(), kv::platform::TLibraryFault::NotLoaded);
  EXPECT_EQ(missing.Error(),
            "Die Bibliothek libkorvane-none.so.1 lässt sich nicht laden "
            "(libkorvane-none.so.1: cannot open shared object file: No such file or directory).");
  EXPECT_FALSE(m.Usable() || missing.Usable());
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
