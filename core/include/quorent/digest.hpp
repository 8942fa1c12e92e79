// SHA-256 and HMAC-SHA-256, with the algorithms fetched once per process.
// A failure of libcrypto (which no input causes) is recorded
// (quorent/fault.hpp); the digest is then zeros.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quorent {

using Digest32 = std::array<std::uint8_t, 32>;

Digest32 sha256(const void* data, std::size_t len);
inline Digest32 sha256(std::string_view text) { return sha256(text.data(), text.size()); }

// Incremental SHA-256 over several pieces.
class Sha256 {
public:
    Sha256();
    ~Sha256();
    Sha256(const Sha256&) = delete;
    Sha256& operator=(const Sha256&) = delete;
    Sha256& update(const void* data, std::size_t len);
    Sha256& update(std::string_view text) { return update(text.data(), text.size()); }
    Digest32 finish();

private:
    void fail(const char* what) noexcept;  // releases the context and records the failure
    void* ctx_;
};

// Incremental HMAC-SHA-256 under one key. The keyed context is cleansed by
// libcrypto when released.
class Hmac {
public:
    Hmac(const std::uint8_t* key, std::size_t key_len);
    ~Hmac();
    Hmac(const Hmac&) = delete;
    Hmac& operator=(const Hmac&) = delete;
    Hmac& update(const void* data, std::size_t len);
    void finish(Digest32& out);

private:
    void fail() noexcept;  // releases the context and records the failure
    void* ctx_;
};

}  // namespace quorent
