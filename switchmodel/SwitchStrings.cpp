#include "switchmodel/SwitchStrings.h"

#include <utility>

namespace orvik {

void SwitchStrings::Add(std::string s) {
    strings_.push_back(std::move(s));
    Changed();
}

void SwitchStrings::Insert(std::size_t i, std::string s) {
    if (i > strings_.size())
        i = strings_.size();
    strings_.insert(strings_.begin() + static_cast<std::ptrdiff_t>(i), std::move(s));
    Changed();
}

void SwitchStrings::Delete(std::size_t i) {
    if (i >= strings_.size())
        return;
    strings_.erase(strings_.begin() + static_cast<std::ptrdiff_t>(i));
    Changed();
}

void SwitchStrings::Put(std::size_t i, std::string s) {
    if (i >= strings_.size())
        return;
    strings_[i] = std::move(s);
    Changed();
}

void SwitchStrings::Clear() {
    if (strings_.empty())
        return;
    strings_.clear();
    Changed();
}

void SwitchStrings::Assign(std::vector<std::string> strings) {
    strings_ = std::move(strings);
    Changed();
}

void SwitchStrings::EndUpdate() {
    if (updateCount_ > 0 && --updateCount_ == 0 && changedInUpdate_) {
        changedInUpdate_ = false;
        Changed();
    }
}

void SwitchStrings::Changed() {
    if (updateCount_ > 0) {
        changedInUpdate_ = true;
        return;
    }
    if (onChange_)
        onChange_();
}

} // namespace orvik
