#pragma once
// A table for values that are dear to find and cheap to find again (text widths, shaped text,
// font families): once it holds Capacity entries it forgets them all and starts afresh, so a
// long-running program never grows it beyond that, however many distinct keys it meets.

#include <QHash>
#include <utility>

namespace kv::ui {

template <class Key, class Value, qsizetype Capacity> class TCappedCache {
public:
  // The value kept for `key`, nullptr when none. Valid until the next Insert.
  const Value *Find(const Key &key) const {
    const auto it = table_.constFind(key);
    return it == table_.constEnd() ? nullptr : &*it;
  }
  // Keeps `value` for `key`, emptying a full table first.
  const Value &Insert(Key key, Value value) {
    if (table_.size() >= Capacity) table_.clear();
    return *table_.insert(std::move(key), std::move(value));
  }
  qsizetype Size() const { return table_.size(); }

private:
  QHash<Key, Value> table_;
};

} // namespace kv::ui
