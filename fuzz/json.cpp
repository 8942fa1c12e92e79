// The JSON record reader and the canonical writer on arbitrary text. The
// first byte picks the reader: free-form value, grants, one delegation link,
// a chain of links, a JWK thumbprint, token claims, or a JWK carrying the
// input repeated to about 1 MB in a member nothing reads. Whatever reads
// writes canonically, and that text reads back to the same records and
// writes to the same bytes, which are also what writing straight from the
// text gives; every refusal ends with its position; a link's
// parent-reference hash is SHA-256 of its canonical text. The repeated input
// is only checked, never held: scripts/fuzz.sh runs this target with a
// memory limit that reading it into a tree would break. Every reading costs
// at most a fixed multiple of the text's length, as the readers count their
// work.
#include "quorent/json.hpp"
#include "check.hpp"
#include "json_reader.hpp"
#include "quorent/capability.hpp"
#include "quorent/digest.hpp"
#include "quorent/token.hpp"

using namespace quorent;

namespace {

// Units of work per byte of text, and for the call itself.
constexpr std::uint64_t kWorkPerByte = 64;
constexpr std::uint64_t kWorkPerCall = 4096;

// `read()`, its work checked against the length of the text it reads.
template <class F>
auto bounded(std::string_view text, F read) {
    json::work_count = 0;
    auto result = read();
    const std::uint64_t work = json::work_count;
    FUZZ_CHECK(work <= kWorkPerByte * text.size() + kWorkPerCall,
               fuzz::show(text.substr(0, 200)) + " (" + std::to_string(text.size()) + " bytes): work " +
                   std::to_string(work));
    return result;
}

void positioned(const CoreError& e, ErrorKind kind, std::string_view in) {
    FUZZ_CHECK(e.kind == kind, fuzz::show(in) + " -> " + e.detail);
    const std::size_t at = e.detail.rfind(" at line ");
    FUZZ_CHECK(at != std::string::npos && e.detail.find(" column ", at) != std::string::npos,
               fuzz::show(in) + " -> " + e.detail);
}

// read, write, read again, write again: the same records, the same bytes.
template <class T, class Read, class Write>
void round_trip(std::string_view in, Read read, Write write) {
    const Result<T> first = bounded(in, [&] { return read(in); });
    if (!first.ok()) {
        positioned(first.error(), ErrorKind::Input, in);
        return;
    }
    const std::string canonical = write(first.value());
    const Result<T> second = read(canonical);
    FUZZ_CHECK(second.ok(), fuzz::show(in) + " -> " + fuzz::show(canonical) +
                                " fails: " + (second.ok() ? "" : second.error().detail));
    FUZZ_CHECK(second.value() == first.value(), fuzz::show(in) + " -> " + fuzz::show(canonical));
    FUZZ_CHECK(write(second.value()) == canonical, fuzz::show(in) + " -> " + fuzz::show(canonical));
}

// Writing straight from the text gives what reading into records and
// writing them gives, or the same refusal.
template <class T, class Read, class Write>
void same_as_records(std::string_view in, Read read, Write write, const Result<std::string>& direct) {
    const Result<T> records = read(in);
    FUZZ_CHECK(records.ok() == direct.ok(), fuzz::show(in));
    if (records.ok()) FUZZ_CHECK(write(records.value()) == direct.value(), fuzz::show(in));
    else FUZZ_CHECK(records.error() == direct.error(), fuzz::show(in) + " -> " + direct.error().detail);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0 || size > 16384) return 0;
    const std::string_view in = fuzz::text(data + 1, size - 1);
    switch (data[0] % 7) {
        case 0: {
            round_trip<json::Value>(
                in, [](std::string_view t) { return json::parse(t); },
                [](const json::Value& v) { return json::to_string(v); });
            // The canonical writer gives the value model's text, or its refusal.
            const auto value = json::parse(in);
            const auto canonical = bounded(in, [&] { return json::canonical_text(in); });
            FUZZ_CHECK(value.ok() == canonical.ok(), fuzz::show(in));
            if (value.ok()) FUZZ_CHECK(json::to_string(value.value()) == canonical.value(), fuzz::show(in));
            else FUZZ_CHECK(value.error() == canonical.error(), fuzz::show(in));
            break;
        }
        case 1:
            round_trip<std::vector<capability::Grant>>(in, capability::grants_from_json, capability::grants_to_json);
            same_as_records<std::vector<capability::Grant>>(
                in, capability::grants_from_json, capability::grants_to_json,
                bounded(in, [&] { return capability::canonical_grants(in); }));
            break;
        case 2: {
            round_trip<capability::Delegation>(in, capability::delegation_from_json, capability::delegation_to_json);
            const auto link = capability::delegation_from_json(in);
            const auto hash = bounded(in, [&] { return capability::parent_ref_hash_link(in); });
            FUZZ_CHECK(link.ok() == hash.ok(), fuzz::show(in));
            if (link.ok()) {
                const Digest32 want = sha256(capability::delegation_to_json(link.value()));
                FUZZ_CHECK(capability::parent_ref_hash_link(link.value()) == want, fuzz::show(in));
                FUZZ_CHECK(hash.value() == hex_encode_var(want.data(), want.size()), fuzz::show(in));
            } else {
                FUZZ_CHECK(hash.error() == link.error(), fuzz::show(in));
            }
            break;
        }
        case 3:
            round_trip<std::vector<capability::Delegation>>(in, capability::delegations_from_json,
                                                            capability::delegations_to_json);
            same_as_records<std::vector<capability::Delegation>>(
                in, capability::delegations_from_json, capability::delegations_to_json,
                bounded(in, [&] { return capability::canonical_delegations(in); }));
            break;
        case 4: {
            const auto t = bounded(in, [&] { return token::jwk_thumbprint(in); });
            if (t.ok()) {
                FUZZ_CHECK(t.value().size() == 64, t.value());
                for (char c : t.value()) FUZZ_CHECK((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'), t.value());
                // Canonical re-serialisation of the key does not change it.
                const auto v = json::parse(in);
                FUZZ_CHECK(v.ok(), fuzz::show(in));
                const std::string canonical = json::to_string(v.value());
                const auto again = token::jwk_thumbprint(std::string_view(canonical));
                FUZZ_CHECK(again.ok() && again.value() == t.value(), fuzz::show(in));
            } else {
                const std::string& d = t.error().detail;
                FUZZ_CHECK(t.error().kind == ErrorKind::BadKey, fuzz::show(in) + " -> " + d);
                if (d != "missing kty" && d != "unsupported kty" && d != "missing crv" && d != "missing x" &&
                    d != "missing y")
                    positioned(t.error(), ErrorKind::BadKey, in);
            }
            break;
        }
        case 5: {
            const auto c = bounded(in, [&] { return token::claims_from_json(in); });
            if (!c.ok()) positioned(c.error(), ErrorKind::Jwt, in);
            break;
        }
        default: {
            static const std::string kKey = R"({"kty":"EC","crv":"P-256","x":"a","y":"b"})";
            static const std::string kThumb = token::jwk_thumbprint(std::string_view(kKey)).value();
            std::string big = R"({"kty":"EC","crv":"P-256","x":"a","y":"b","z":[)";
            const std::size_t copies = (std::size_t{1} << 20) / (in.size() + 1) + 1;
            big.reserve(big.size() + copies * (in.size() + 1) + 2);
            for (std::size_t i = 0; i < copies; ++i) {
                if (i != 0) big += ',';
                big += in;
            }
            big += "]}";
            const auto t = bounded(big, [&] { return token::jwk_thumbprint(std::string_view(big)); });
            if (t.ok()) {
                FUZZ_CHECK(t.value() == kThumb, fuzz::show(in));
            } else {
                positioned(t.error(), ErrorKind::BadKey, in);
                // Values that read alone, nested as deep, read repeated.
                const bool blank = in.find_first_not_of(" \t\r\n") == std::string_view::npos;
                FUZZ_CHECK(blank || !json::parse("[[" + std::string(in) + "]]").ok(),
                           fuzz::show(in) + " -> " + t.error().detail);
            }
            break;
        }
    }
    return 0;
}
