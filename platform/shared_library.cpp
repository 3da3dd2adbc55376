#include "platform/shared_library.h"

#include <dlfcn.h>
#include <link.h>
#include <utility>

namespace kv::platform {

TSharedLibrary::TSharedLibrary(TSharedLibrary &&other) noexcept
    : name_(std::move(other.name_)), handle_(std::exchange(other.handle_, nullptr)),
      kept_(std::exchange(other.kept_, false)), fault_(std::exchange(other.fault_, TLibraryFault::None)),
      error_(std::move(other.error_)) {}

TSharedLibrary &TSharedLibrary::operator=(TSharedLibrary &&other) noexcept {
  if (this != &other) {
    Close();
    name_ = std::move(other.name_);
    handle_ = std::exchange(other.handle_, nullptr);
    kept_ = std::exchange(other.kept_, false);
    fault_ = std::exchange(other.fault_, TLibraryFault::None);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool TSharedLibrary::Open(const std::string &name) {
  Close();
  name_ = name;
  fault_ = TLibraryFault::None;
  error_.clear();
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char *why = ::dlerror();
    Fail(TLibraryFault::NotLoaded, why ? why : "unbekannter Fehler");
  }
  return handle_ != nullptr;
}

void *TSharedLibrary::Symbol(const char *symbol, bool required) {
  if (!handle_) return nullptr;
  void *address = ::dlsym(handle_, symbol);
  if (!address && required) Fail(TLibraryFault::LacksFunction, symbol);
  return address;
}

void TSharedLibrary::RefuseVersion(const std::string &version, const std::string &oldest) {
  if (handle_) Fail(TLibraryFault::TooOld, version, oldest);
}

void TSharedLibrary::RefuseSetUp() {
  if (handle_) Fail(TLibraryFault::NotSetUp);
}

void TSharedLibrary::Fail(TLibraryFault fault, const std::string &detail, const std::string &oldest) {
  if (fault_ != TLibraryFault::None) return;
  fault_ = fault;
  switch (fault) {
  case TLibraryFault::NotLoaded:
    error_ = "Die Bibliothek " + name_ + " lässt sich nicht laden (" + detail + ").";
    break;
  case TLibraryFault::LacksFunction:
    error_ = "Der Bibliothek " + name_ + " fehlt die Funktion " + detail + ".";
    break;
  case TLibraryFault::TooOld:
    error_ = "Die Bibliothek " + name_ + " ist zu alt (Version " + detail + "; nötig ist " + oldest +
             " oder neuer).";
    break;
  case TLibraryFault::NotSetUp:
    error_ = "Die Bibliothek " + name_ + " lässt sich nicht einrichten.";
    break;
  case TLibraryFault::None:
    break;
  }
}

std::string TSharedLibrary::Path() const {
  link_map *map = nullptr;
  if (handle_ && ::dlinfo(handle_, RTLD_DI_LINKMAP, &map) == 0 && map && map->l_name) return map->l_name;
  return {};
}

void TSharedLibrary::Close() {
  // dlopen counts its loads: this closes only this handle's, the file stays while others hold it.
  if (handle_ && !kept_) ::dlclose(handle_);
  handle_ = nullptr;
  kept_ = false;
}

} // namespace kv::platform
