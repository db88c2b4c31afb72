// The prepared statements a connection keeps, by statement shape (see
// StatementShape.h), least recently used first out. Prepared is what the
// engine hands back: a statement handle, or the name of a statement the
// server holds.
//
// A text is kept only from its second sighting on: Admit remembers the
// texts it has been asked about in a small table of their hashes, so that a
// burst of texts each run once passes by without pushing out the shapes in
// steady use. The table forgets (a newer text may take a slot), so a shape
// may take a third sighting to be kept; it never needs more once its slot
// holds it.
#pragma once

#include <array>
#include <cstddef>
#include <functional>
#include <list>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>

namespace qz::access {

template <typename Prepared>
class StatementCache {
 public:
  // Statements kept at most; sightings remembered by Admit.
  static constexpr size_t kCapacity = 64;
  static constexpr size_t kSightings = 1024;

  StatementCache() = default;
  StatementCache(const StatementCache&) = delete;
  StatementCache& operator=(const StatementCache&) = delete;

  // The statement kept for text, now the most recently used; null if none.
  Prepared* Find(std::string_view text) {
    const auto found = index_.find(text);
    if (found == index_.end()) return nullptr;
    entries_.splice(entries_.begin(), entries_, found->second);
    return &found->second->second;
  }

  // Takes the statement kept for text out of the cache (while one cursor
  // uses it no other may); Put returns it.
  std::optional<Prepared> Take(std::string_view text) {
    const auto found = index_.find(text);
    if (found == index_.end()) return std::nullopt;
    auto entry = found->second;
    index_.erase(found);
    std::optional<Prepared> prepared(std::move(entry->second));
    entries_.erase(entry);
    return prepared;
  }

  // Whether text was seen before and should now be prepared to keep.
  // Remembers this sighting either way.
  bool Admit(std::string_view text) {
    const size_t hash = std::hash<std::string_view>()(text) | 1;  // 0 marks an empty slot
    size_t& slot = sightings_[hash % kSightings];
    if (slot == hash) return true;
    slot = hash;
    return false;
  }

  // Keeps prepared for text as the most recently used. A statement already
  // kept for text, or the least recently used one when the cache is full,
  // goes to discard (which releases it on the engine).
  template <typename Discard>
  void Put(std::string text, Prepared prepared, Discard discard) {
    if (std::optional<Prepared> old = Take(text)) discard(*old);
    if (entries_.size() >= kCapacity) {
      auto last = std::prev(entries_.end());
      index_.erase(std::string_view(last->first));
      discard(last->second);
      entries_.erase(last);
    }
    entries_.emplace_front(std::move(text), std::move(prepared));
    index_.emplace(std::string_view(entries_.front().first), entries_.begin());
  }

  // Hands every kept statement to discard and forgets them all (and the
  // sightings, which belonged to the same session).
  template <typename Discard>
  void Clear(Discard discard) {
    for (auto& entry : entries_) discard(entry.second);
    entries_.clear();
    index_.clear();
    sightings_.fill(0);
  }

  size_t size() const { return entries_.size(); }

 private:
  using Entries = std::list<std::pair<std::string, Prepared>>;
  Entries entries_;  // most recently used first
  std::unordered_map<std::string_view, typename Entries::iterator> index_;
  std::array<size_t, kSightings> sightings_{};
};

}  // namespace qz::access
