#pragma once
// A library loaded by name at run time (dlopen), and its functions bound by name. The handle owns
// what it loaded and closes it when it goes, unless kept: a library that has been initialised
// (and may run its own clean-up when the process ends) stays mapped. A library that cannot be
// loaded, lacks a function its user cannot do without, is too old or cannot be set up is named
// in a German message.

#include <string>

namespace kv::platform {

// Why a library cannot be used; the first fault found is the one kept.
enum class TLibraryFault { None, NotLoaded, LacksFunction, TooOld, NotSetUp };

class TSharedLibrary {
public:
  TSharedLibrary() = default;
  ~TSharedLibrary() { Close(); }
  TSharedLibrary(TSharedLibrary &&other) noexcept;
  TSharedLibrary &operator=(TSharedLibrary &&other) noexcept;
  TSharedLibrary(const TSharedLibrary &) = delete;
  TSharedLibrary &operator=(const TSharedLibrary &) = delete;

  // Loads `name` (a file name searched the usual way, or a path), letting go of the library held
  // before. False, with Error() set, when it cannot be loaded.
  bool Open(const std::string &name);
  // The address of `symbol`; null when nothing is loaded or the library has no such symbol. A
  // missing required one makes the library unusable, and Error() names the first.
  void *Symbol(const char *symbol, bool required = true);
  template <class F> bool Bind(const char *symbol, F &fn, bool required = true) {
    fn = reinterpret_cast<F>(Symbol(symbol, required));
    return fn != nullptr;
  }
  // Make a loaded library unusable: its version (say "7.84.0") is older than `oldest`, or its
  // own set-up failed.
  void RefuseVersion(const std::string &version, const std::string &oldest);
  void RefuseSetUp();

  // Loaded, with nothing required missing and not refused.
  bool Usable() const { return handle_ != nullptr && error_.empty(); }
  // Why the library cannot be used, as a kind and in German; None and "" while it can (or
  // nothing was tried).
  TLibraryFault Fault() const { return fault_; }
  const std::string &Error() const { return error_; }
  // Its full path ("" when not loaded).
  std::string Path() const;
  // One value per loaded file, however it was named.
  const void *Identity() const { return handle_; }

  // Leaves the library loaded when this handle closes or goes.
  void Keep() { kept_ = true; }
  void Close();

private:
  void Fail(TLibraryFault fault, const std::string &detail = "", const std::string &oldest = "");

  std::string name_;
  void *handle_ = nullptr;
  bool kept_ = false;
  TLibraryFault fault_ = TLibraryFault::None;
  std::string error_;
};

} // namespace kv::platform
