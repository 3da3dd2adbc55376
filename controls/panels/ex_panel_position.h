#pragma once
// Where panels save their place: the registry (the key Key, Section a sub-key below it) or an
// ini file (file Key, section Section). Values are integers.

#include <QString>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kv::panels {

class TPanelPosition;

class TPositionStore {
public:
  virtual ~TPositionStore() = default;
  // The value, or nullopt when it is missing or not an integer.
  virtual std::optional<int> ReadInteger(const QString &Name) = 0;
  // Writes the values in their order as one change; false when the store could not be written.
  virtual bool WriteIntegers(const std::vector<std::pair<QString, int>> &Values) = 0;
};

// The store `position` names; nullptr when its Key or Section is empty.
std::unique_ptr<TPositionStore> OpenPositionStore(const TPanelPosition &position);

// The ini file of `key`: a name without a folder lies in the program's settings folder
// (${XDG_CONFIG_HOME:-$HOME/.config}/korvane).
QString PositionIniFile(const QString &key);

} // namespace kv::panels
