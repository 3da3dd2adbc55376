#include "platform/shared_library.h"

#include <dlfcn.h>
#include <link.h>
#include <utility>

namespace kv::platform {

std::string UnusableLibraryText(const std::string &name, const std::string &reason) {
  return "Die Bibliothek " + name + " ist nicht nutzbar: " + reason + ".";
}

TSharedLibrary::TSharedLibrary(TSharedLibrary &&other) noexcept
    : name_(std::move(other.name_)), handle_(std::exchange(other.handle_, nullptr)),
      kept_(std::exchange(other.kept_, false)), error_(std::move(other.error_)) {}

TSharedLibrary &TSharedLibrary::operator=(TSharedLibrary &&other) noexcept {
  if (this != &other) {
    Close();
    name_ = std::move(other.name_);
    handle_ = std::exchange(other.handle_, nullptr);
    kept_ = std::exchange(other.kept_, false);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool TSharedLibrary::Open(const std::string &name) {
  Close();
  name_ = name;
  error_.clear();
  handle_ = ::dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char *why = ::dlerror();
    error_ = UnusableLibraryText(name, std::string("Sie lässt sich nicht laden (") +
                                           (why ? why : "unbekannter Fehler") + ")");
  }
  return handle_ != nullptr;
}

void *TSharedLibrary::Symbol(const char *symbol, bool required) {
  if (!handle_) return nullptr;
  void *address = ::dlsym(handle_, symbol);
  if (!address && required && error_.empty())
    error_ = UnusableLibraryText(name_, std::string("Ihr fehlt die Funktion ") + symbol);
  return address;
}

void TSharedLibrary::Refuse(const std::string &reason) {
  if (handle_ && error_.empty()) error_ = UnusableLibraryText(name_, reason);
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
