#pragma once
// Where panels save their place: the registry (the key Key, Section a sub-key below it) or an
// ini file (file Key, section Section). Values are integers.

#include <QString>
#include <memory>
#include <optional>

namespace kv::panels {

class TPanelPosition;

class TPositionStore {
public:
  virtual ~TPositionStore() = default;
  // The value, or nullopt when it is missing or not an integer.
  virtual std::optional<int> ReadInteger(const QString &Name) = 0;
  // False when the store could not be written.
  virtual bool WriteInteger(const QString &Name, int Value) = 0;
};

// The store `position` names; nullptr when its Key or Section is empty.
std::unique_ptr<TPositionStore> OpenPositionStore(const TPanelPosition &position);

// The ini file of `key`: a name without a folder lies in the program's settings folder
// (${XDG_CONFIG_HOME:-$HOME/.config}/korvane).
QString PositionIniFile(const QString &key);

} // namespace kv::panels
