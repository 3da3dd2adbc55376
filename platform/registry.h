#pragma once
// The per-user registry: one typed text file in the style of a registry export, shared by every
// Korvane program. Key and value names match without regard to case. Every write locks the
// file, re-reads it, applies only its own change and replaces the file atomically, so programs
// writing at the same time lose nothing. A set of values written together (WriteValues) is one
// such change: a reader sees all of them or none. A file that cannot be read is moved aside, never
// overwritten. A file that is a symbolic link is read and replaced through the link, which stays.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace kv::platform {

// Raised by TRegistry for a missing or wrong-typed integer or Boolean, a wrong-typed string,
// a write on a key opened read-only, and a file that cannot be written.
class ERegistryException : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

enum class TRegDataType { rdUnknown, rdString, rdInteger };

namespace registry_file {

// One value as stored. Values of types this program does not use keep their text verbatim.
struct Value {
  std::string name;
  TRegDataType type = TRegDataType::rdString;
  std::string text;   // rdString: the string; rdUnknown: everything after the '='
  uint32_t dword = 0; // rdInteger
  friend bool operator==(const Value &, const Value &) = default;
};

struct Key {
  std::string path; // "HKEY_CURRENT_USER\Software\..."
  std::vector<Value> values;
  friend bool operator==(const Key &, const Key &) = default;
};

// The whole file, keys and values in file order.
struct Store {
  std::vector<Key> keys;

  Key *FindKey(const std::string &path);
  const Key *FindKey(const std::string &path) const;
  // True when the key or any key below it is present.
  bool KeyExists(const std::string &path) const;
  Key &CreateKey(const std::string &path);
  // The same keys with the same values, in the same order and spelling.
  friend bool operator==(const Store &, const Store &) = default;
};

Value *FindValue(Key &key, const std::string &name);
const Value *FindValue(const Key &key, const std::string &name);

// Parses the file's text. Returns false and says why for anything that is not a well-formed file,
// a line cut short included (a string without its closing quote, a dword of fewer than eight
// digits, a continuation mark with nothing after it). Whatever it accepts, Format writes back
// so that it parses to the same keys and values.
bool Parse(const std::string &text, Store &out, std::string &why);
// The file's text for a store.
std::string Format(const Store &store);

} // namespace registry_file

// Values to store together, in the order they are added.
class TRegValues {
public:
  TRegValues &String(const std::string &name, const std::string &value);
  TRegValues &Integer(const std::string &name, int32_t value);
  TRegValues &Bool(const std::string &name, bool value);
  const std::vector<registry_file::Value> &Values() const { return values_; }

private:
  std::vector<registry_file::Value> values_;
};

class TRegistry {
public:
  // The user's registry file: ${XDG_CONFIG_HOME:-$HOME/.config}/korvane/registry.reg.
  TRegistry();
  // A registry kept in `file` (tests, tools).
  explicit TRegistry(std::string file);

  static std::string DefaultFileName();
  const std::string &FileName() const { return file_; }

  // Opens `key` (absolute with a leading "\", else below the open key) for reading and writing.
  // A missing key is created when `can_create`; otherwise the result is false. A key name with
  // a control character is refused (false) by every key operation.
  bool OpenKey(const std::string &key, bool can_create);
  // Opens an existing key for reading only; false when it does not exist.
  bool OpenKeyReadOnly(const std::string &key);
  // Creates `key` and reports whether it exists afterwards; the open key stays as it was.
  bool CreateKey(const std::string &key);
  bool KeyExists(const std::string &key);
  void CloseKey();
  // Full path of the open key ("HKEY_CURRENT_USER\..."), or "" when none is open.
  const std::string &CurrentPath() const { return current_; }

  bool ValueExists(const std::string &name) const;
  TRegDataType GetDataType(const std::string &name) const;
  // Value names of the open key in stored order.
  std::vector<std::string> GetValueNames() const;

  // A missing string reads as "". Raises ERegistryException for a value of another type.
  std::string ReadString(const std::string &name) const;
  // Raise ERegistryException for a missing value or a value of another type.
  int32_t ReadInteger(const std::string &name) const;
  bool ReadBool(const std::string &name) const;

  // Each write goes to the file at once. Raise ERegistryException when the key is read-only or
  // the file cannot be written.
  void WriteString(const std::string &name, const std::string &value);
  void WriteInteger(const std::string &name, int32_t value);
  void WriteBool(const std::string &name, bool value);
  // Returns false when the value did not exist.
  bool DeleteValue(const std::string &name);

  // Stores `values` in their order under `key` (absolute with a leading "\\", else below the open
  // key), creating the key when it is missing, as one change: one lock, one re-read, one
  // replace of the file. Raises ERegistryException when the file cannot be written or the key
  // name cannot be stored; nothing is written then.
  void WriteValues(const std::string &key, const TRegValues &values);

private:
  std::string Resolve(const std::string &key) const;
  // The open key's path; the root when no key is open.
  std::string OpenPath() const;
  void Reload();
  const registry_file::Value *Find(const std::string &name) const;
  void WriteValue(const registry_file::Value &value);
  void StoreValues(const std::string &path, const std::vector<registry_file::Value> &values);

  std::string file_;
  registry_file::Store snapshot_;
  std::string current_;
  bool read_only_ = false;
};

} // namespace kv::platform
