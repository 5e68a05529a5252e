#pragma once
// An owning list of world objects in spawn order. An object may remove itself while
// the list is walked and go on using its own fields until its update returns: removed
// objects are kept aside and released after the walk.
#include <algorithm>
#include <list>
#include <memory>
#include <vector>

template <typename T>
class obj_list {
public:
    T* add(std::unique_ptr<T> obj) {
        items_.push_back(std::move(obj));
        return items_.back().get();
    }

    // Removes obj; an object no longer in the list is left alone.
    void remove(const T* obj) {
        auto it = std::find_if(items_.begin(), items_.end(), [&](const auto& p) { return p.get() == obj; });
        if (it == items_.end()) return;
        removed_.push_back(std::move(*it));
        items_.erase(it);
    }

    // Calls f on every object from first to last; f may remove the object it is given.
    template <typename F>
    void walk(F f) {
        for (auto it = items_.begin(); it != items_.end();) {
            auto next = std::next(it);
            f(**it);
            it = next;
        }
        removed_.clear();
    }

    void clear() {
        items_.clear();
        removed_.clear();
    }

    size_t size() const { return items_.size(); }
    bool empty() const { return items_.empty(); }
    auto begin() const { return items_.begin(); }
    auto end() const { return items_.end(); }
    T& front() { return *items_.front(); }
    T& back() { return *items_.back(); }

private:
    std::list<std::unique_ptr<T>> items_;
    std::vector<std::unique_ptr<T>> removed_;
};
