// Byte strings, and holders of secret bytes that wipe them.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <utility>
#include <vector>

#include "quorent/secure_wipe.hpp"

namespace quorent {

using Bytes = std::vector<std::uint8_t>;

// Bytes that hold a secret; wiped on destruction.
class SecretBytes {
public:
    SecretBytes() = default;
    explicit SecretBytes(Bytes bytes) : bytes_(std::move(bytes)) {}
    SecretBytes(const SecretBytes&) = delete;
    SecretBytes& operator=(const SecretBytes&) = delete;
    ~SecretBytes() { wipe(); }
    Bytes& get() noexcept { return bytes_; }
    const Bytes& get() const noexcept { return bytes_; }
    void wipe() noexcept { secure_wipe(bytes_.data(), bytes_.capacity()); }

private:
    Bytes bytes_;
};

// N secret bytes in place; wiped on destruction and when moved from.
template <std::size_t N>
class SecretArray {
public:
    SecretArray() = default;
    explicit SecretArray(const std::array<std::uint8_t, N>& bytes) noexcept : bytes_(bytes) {}
    SecretArray(SecretArray&& other) noexcept : bytes_(other.bytes_) { other.wipe(); }
    SecretArray& operator=(SecretArray&& other) noexcept {
        if (this != &other) {
            bytes_ = other.bytes_;
            other.wipe();
        }
        return *this;
    }
    SecretArray(const SecretArray&) = delete;
    SecretArray& operator=(const SecretArray&) = delete;
    ~SecretArray() { wipe(); }

    std::array<std::uint8_t, N>& bytes() noexcept { return bytes_; }
    const std::array<std::uint8_t, N>& bytes() const noexcept { return bytes_; }

private:
    void wipe() noexcept { secure_wipe(bytes_.data(), bytes_.size()); }
    std::array<std::uint8_t, N> bytes_{};
};

}  // namespace quorent
