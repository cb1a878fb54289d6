// A short text of fixed capacity, so that building display texts allocates nothing.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>

namespace orvik {

class ShortText {
public:
    static constexpr std::size_t CAPACITY = 47;

    ShortText() = default;
    ShortText(std::string_view s) { Assign(s); }

    void Clear() noexcept { len_ = 0; }
    void Assign(std::string_view s) noexcept {
        len_ = 0;
        Append(s);
    }
    // Appends what fits; the rest is cut off.
    void Append(std::string_view s) noexcept {
        for (char c : s) {
            if (len_ == CAPACITY)
                return;
            buf_[len_++] = c;
        }
    }
    void Append(char c) noexcept { Append(std::string_view(&c, 1)); }

    std::string_view View() const noexcept { return {buf_.data(), len_}; }
    std::string Str() const { return std::string(View()); }
    std::size_t Size() const noexcept { return len_; }
    bool Empty() const noexcept { return len_ == 0; }

    friend bool operator==(const ShortText& a, const ShortText& b) noexcept {
        return a.View() == b.View();
    }
    friend bool operator==(const ShortText& a, std::string_view b) noexcept {
        return a.View() == b;
    }

private:
    std::array<char, CAPACITY> buf_{};
    std::size_t len_ = 0;
};

} // namespace orvik
