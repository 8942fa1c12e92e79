#include "quorent/sovereign.hpp"

#include <utility>

namespace quorent::sovereign {

namespace {

// The fields that the two forms share, copied (or moved) from one to the other.
template <class To, class From>
To copy_common(From&& from) {
    To to;
    static_cast<DeedFields&>(to) = std::forward<From>(from);
    return to;
}

}  // namespace

DeedRecord deed_to_record(Deed&& deed) {
    auto record = copy_common<DeedRecord>(std::move(deed));
    record.grants = std::move(deed.grants);
    record.delegations = std::move(deed.delegations);
    return record;
}

DeedRecord deed_to_record(const Deed& deed) {
    auto record = copy_common<DeedRecord>(deed);
    record.grants = deed.grants;
    record.delegations = deed.delegations;
    return record;
}

Result<Deed> record_to_deed(const DeedRecord& record) {
    auto deed = copy_common<Deed>(record);
    if (record.grants) {
        QUORENT_TRY(deed.grants, capability::canonical_grants(*record.grants));
    }
    if (record.delegations) {
        QUORENT_TRY(deed.delegations, capability::canonical_delegations(*record.delegations));
    }
    return deed;
}

Deed minted_deed(std::string_view mode, std::uint64_t tenant, std::string sub, std::string_view aud,
                 std::string_view challenge, std::uint64_t exp) {
    Deed deed;
    deed.v = 1;
    deed.mode = std::string(mode);
    deed.tenant = tenant;
    deed.sub = std::move(sub);
    deed.aud = std::string(aud);
    deed.challenge = std::string(challenge);
    deed.exp = exp;
    return deed;
}

}  // namespace quorent::sovereign
