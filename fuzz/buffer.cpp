// The buffer functions driven by an arbitrary sequence of operations over a
// small pool of live buffers, each checked against a model of its bytes and
// capacity; inconsistent buffers and views are refused with their messages
// and release nothing.
#include <algorithm>
#include <cstring>
#include <vector>

#include "check.hpp"
#include "quorent_sdk_uniffi.h"

namespace {

struct Live {
    RustBuffer buf;
    std::string bytes;  // what it must hold
};

class Input {
public:
    Input(const std::uint8_t* d, std::size_t n) : d_(d), n_(n) {}
    bool more() const { return i_ < n_; }
    std::uint8_t byte() { return i_ < n_ ? d_[i_++] : 0; }
    std::uint64_t small() {
        const std::uint64_t lo = byte();
        return lo | (static_cast<std::uint64_t>(byte() & 0x3F) << 8);
    }  // < 16384
    std::string_view take(std::size_t k) {
        k = std::min(k, n_ - i_);
        std::string_view out(reinterpret_cast<const char*>(d_ + i_), k);
        i_ += k;
        return out;
    }

private:
    const std::uint8_t* d_;
    std::size_t n_;
    std::size_t i_ = 0;
};

RustCallStatus fresh() { return RustCallStatus{0, {0, 0, nullptr}}; }

std::string content(const RustBuffer& b) {
    return b.len == 0 ? std::string() : std::string(reinterpret_cast<const char*>(b.data), b.len);
}

// Reads and frees a code-2 message.
std::string code2(RustCallStatus& st) {
    FUZZ_CHECK(st.code == 2, "expected code 2, got " + std::to_string(st.code));
    std::string msg = content(st.error_buf);
    RustCallStatus f = fresh();
    ffi_quorent_sdk_uniffi_rustbuffer_free(st.error_buf, &f);
    FUZZ_CHECK(f.code == 0, "free error_buf");
    return msg;
}

void check_live(const Live& l) {
    FUZZ_CHECK(l.buf.len == l.bytes.size() && l.buf.len <= l.buf.capacity, "length/capacity");
    FUZZ_CHECK((l.buf.data == nullptr) == (l.buf.capacity == 0), "storage iff capacity");
    FUZZ_CHECK(content(l.buf) == l.bytes, "content");
}

void release(Live& l) {
    RustCallStatus st = fresh();
    ffi_quorent_sdk_uniffi_rustbuffer_free(l.buf, &st);
    FUZZ_CHECK(st.code == 0, "free");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    Input in(data, size);
    std::vector<Live> pool;
    int steps = 0;
    while (in.more() && ++steps < 64) {
        const std::uint8_t op = in.byte();
        const std::size_t pick = pool.empty() ? 0 : in.byte() % pool.size();
        RustCallStatus st = fresh();
        switch (op % 8) {
            case 0: {  // alloc
                if (pool.size() >= 8) break;
                const std::uint64_t n = in.small();
                RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_alloc(n, &st);
                FUZZ_CHECK(st.code == 0 && b.capacity == n && b.len == n, "alloc " + std::to_string(n));
                pool.push_back({b, std::string(n, '\0')});
                break;
            }
            case 1: {  // from_bytes
                if (pool.size() >= 8) break;
                const std::string_view src = in.take(in.byte());
                RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(
                    ForeignBytes{static_cast<std::int32_t>(src.size()),
                                 reinterpret_cast<const std::uint8_t*>(src.data())},
                    &st);
                FUZZ_CHECK(st.code == 0 && b.capacity == src.size(), "from_bytes");
                pool.push_back({b, std::string(src)});
                break;
            }
            case 2: {  // reserve
                if (pool.empty()) break;
                Live& l = pool[pick];
                const std::uint64_t add = in.small();
                const RustBuffer old = l.buf;
                RustBuffer b = ffi_quorent_sdk_uniffi_rustbuffer_reserve(l.buf, add, &st);
                FUZZ_CHECK(st.code == 0, "reserve");
                if (old.capacity - old.len >= add) {
                    FUZZ_CHECK(b.data == old.data && b.capacity == old.capacity && b.len == old.len, "unchanged");
                } else {
                    const std::uint64_t want = std::max({old.len + add, 2 * old.capacity, std::uint64_t{8}});
                    FUZZ_CHECK(b.capacity == want && b.len == old.len, "grown capacity " + std::to_string(b.capacity));
                }
                l.buf = b;
                // The spare room is writable storage of the buffer.
                if (b.capacity > b.len) std::memset(b.data + b.len, 0xA5, b.capacity - b.len);
                break;
            }
            case 3: {  // free
                if (pool.empty()) break;
                release(pool[pick]);
                pool.erase(pool.begin() + static_cast<long>(pick));
                break;
            }
            case 4: {  // inconsistent buffers are refused and not released
                const std::uint8_t which = in.byte() % 4;
                RustBuffer bad{};
                std::string want;
                if (which == 0) bad = {1 + in.small(), 0, nullptr}, want = "null RustBuffer had non-zero capacity";
                else if (which == 1) bad = {0, 1 + in.small(), nullptr}, want = "null RustBuffer had non-zero length";
                else if (which == 2 && !pool.empty() && pool[pick].buf.data != nullptr)
                    bad = {pool[pick].buf.capacity, pool[pick].buf.capacity + 1 + in.small(), pool[pick].buf.data},
                    want = "RustBuffer length exceeds capacity";
                else break;
                if (in.byte() & 1) {
                    ffi_quorent_sdk_uniffi_rustbuffer_free(bad, &st);
                } else {
                    RustBuffer r = ffi_quorent_sdk_uniffi_rustbuffer_reserve(bad, in.small(), &st);
                    FUZZ_CHECK(r.data == nullptr && r.len == 0 && r.capacity == 0, "empty value");
                }
                FUZZ_CHECK(code2(st) == want, want);
                break;
            }
            case 5: {  // inconsistent views
                const std::uint8_t b = in.byte();
                if (b & 1) {
                    ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(ForeignBytes{1 + (b >> 1), nullptr}, &st);
                    FUZZ_CHECK(code2(st) == "null ForeignBytes had non-zero length", "null view");
                } else {
                    const std::uint8_t x = 0;
                    ffi_quorent_sdk_uniffi_rustbuffer_from_bytes(ForeignBytes{-1 - (b >> 1), &x}, &st);
                    FUZZ_CHECK(fuzz::starts_with(code2(st), "bytes length negative or overflowed"), "negative view");
                }
                break;
            }
            case 6: {  // sizes out of range
                const std::uint64_t big = (std::uint64_t{1} << 63) + in.small();
                if (in.byte() & 1) {
                    ffi_quorent_sdk_uniffi_rustbuffer_alloc(big, &st);
                } else {
                    // An empty buffer owns nothing, so its fate on failure does not matter.
                    ffi_quorent_sdk_uniffi_rustbuffer_reserve(RustBuffer{0, 0, nullptr}, big, &st);
                }
                FUZZ_CHECK(code2(st) == "capacity overflow", "overflow");
                break;
            }
            default: {  // write into a buffer's bytes
                if (pool.empty() || pool[pick].bytes.empty()) break;
                Live& l = pool[pick];
                const std::size_t at = in.small() % l.bytes.size();
                const auto v = static_cast<std::uint8_t>(in.byte());
                l.buf.data[at] = v;
                l.bytes[at] = static_cast<char>(v);
                break;
            }
        }
        for (const Live& l : pool) check_live(l);
    }
    for (Live& l : pool) release(l);
    return 0;
}
