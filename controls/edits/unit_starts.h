#pragma once
// Start count of a support unit: the first start runs the unit's start-up work, the last end
// its end work, so nested starts (two programs' blocks, tests) do the work once.

namespace kv::edits {

class UnitStarts {
public:
  // True when this is the first start.
  bool Enter() { return ++count_ == 1; }
  // True when this ends the last start; an end without a start does nothing.
  bool Leave() { return count_ > 0 && --count_ == 0; }
  int Count() const { return count_; }

private:
  int count_ = 0;
};

} // namespace kv::edits
