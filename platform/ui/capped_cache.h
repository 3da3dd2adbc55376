#pragma once
// A table for values that are dear to find and cheap to find again (text widths, shaped text,
// font families), bounded by the bytes its entries hold, each entry's cost given by its user.
// When it would hold more than its budget, the least recently used entries go first, so the
// values used on every paint stay however many others pass through; and an entry that alone
// would take more than a sixteenth of the budget is not kept, as it would push out many.

#include <QHash>
#include <iterator>
#include <list>
#include <utility>

namespace kv::ui {

template <class Key, class Value> class TCappedCache {
public:
  explicit TCappedCache(qsizetype budget) : budget_(budget) {}

  // Whether an entry of `cost` bytes would be kept.
  bool Keeps(qsizetype cost) const { return cost <= budget_ / 16; }
  // The value kept for `key`, now the most recently used; nullptr when none. Valid until the
  // next Insert.
  const Value *Find(const Key &key) {
    const auto it = index_.constFind(key);
    if (it == index_.constEnd()) return nullptr;
    order_.splice(order_.begin(), order_, *it);
    return &order_.front().value;
  }
  // Keeps `value` for `key` at `cost` bytes as the most recently used, in place of any value
  // kept for it before, forgetting the least recently used entries beyond the budget.
  void Insert(Key key, Value value, qsizetype cost) {
    if (const auto it = index_.constFind(key); it != index_.constEnd()) Erase(*it);
    if (!Keeps(cost)) return;
    order_.push_front({key, std::move(value), cost});
    index_.insert(std::move(key), order_.begin());
    cost_ += cost;
    while (cost_ > budget_)
      Erase(std::prev(order_.end()));
  }
  qsizetype Size() const { return index_.size(); }
  // The bytes the entries hold, by their costs.
  qsizetype Cost() const { return cost_; }

private:
  struct Entry {
    Key key;
    Value value;
    qsizetype cost = 0;
  };
  void Erase(typename std::list<Entry>::iterator it) {
    cost_ -= it->cost;
    index_.remove(it->key);
    order_.erase(it);
  }

  qsizetype budget_;
  qsizetype cost_ = 0;
  std::list<Entry> order_; // the most recently used first
  QHash<Key, typename std::list<Entry>::iterator> index_;
};

} // namespace kv::ui
