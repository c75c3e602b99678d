// A map that keeps at most a fixed number of entries: when a new one would
// go beyond it, the least recently used entry is dropped, and its value's
// destructor frees whatever it owns (a library, a handle). Values need only
// be movable. Not thread safe.
#pragma once
#include <cstddef>
#include <list>
#include <unordered_map>
#include <utility>

template <typename Key, typename Value>
class BoundedLru {
public:
    // A limit of 0 keeps nothing: every Insert is dropped again at once.
    explicit BoundedLru(size_t limit) : limit_(limit) {}
    BoundedLru(const BoundedLru&) = delete;
    BoundedLru& operator=(const BoundedLru&) = delete;

    // The value kept for `key`, now the most recently used; null when none.
    // The pointer stays valid until the entry is dropped.
    Value* Find(const Key& key)
    {
        auto found = index_.find(key);
        if (found == index_.end()) return nullptr;
        entries_.splice(entries_.begin(), entries_, found->second);
        return &found->second->second;
    }

    // Keeps `value` for `key` (which must not be kept yet) as the most
    // recently used, dropping the least recently used beyond the limit. Null
    // when the limit is 0 (the value is dropped).
    Value* Insert(const Key& key, Value value)
    {
        if (limit_ == 0) return nullptr;
        while (entries_.size() >= limit_) DropLeastRecent();
        entries_.emplace_front(key, std::move(value));
        index_[key] = entries_.begin();
        return &entries_.front().second;
    }

    size_t Size() const { return entries_.size(); }

    // Drops every entry, the least recently used first.
    void Clear()
    {
        while (!entries_.empty()) DropLeastRecent();
    }

    ~BoundedLru() { Clear(); }

private:
    using Entry = std::pair<Key, Value>;

    void DropLeastRecent()
    {
        index_.erase(entries_.back().first);
        entries_.pop_back();
    }

    std::list<Entry> entries_;  // the most recently used first
    std::unordered_map<Key, typename std::list<Entry>::iterator> index_;
    size_t limit_;
};
