// The list of switch descriptions ("Breaker 1,toggle,1"), one string per switch. Every change
// of its contents outside an update block calls the change handler.
#pragma once

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

namespace orvik {

class SwitchStrings {
public:
    std::size_t Count() const noexcept { return strings_.size(); }
    const std::string& operator[](std::size_t i) const { return strings_.at(i); }
    const std::vector<std::string>& Strings() const noexcept { return strings_; }

    void Add(std::string s);
    void Insert(std::size_t i, std::string s); // i past the end appends
    void Delete(std::size_t i);                // out of range does nothing
    void Put(std::size_t i, std::string s);    // out of range does nothing
    void Clear();
    // Replaces all strings at once: one change notification.
    void Assign(std::vector<std::string> strings);

    // Changes between BeginUpdate and the matching EndUpdate notify once, at the end.
    void BeginUpdate() noexcept { ++updateCount_; }
    void EndUpdate();

    void SetOnChange(std::function<void()> handler) { onChange_ = std::move(handler); }

private:
    void Changed();

    std::vector<std::string> strings_;
    std::function<void()> onChange_;
    int updateCount_ = 0;
    bool changedInUpdate_ = false;
};

} // namespace orvik
