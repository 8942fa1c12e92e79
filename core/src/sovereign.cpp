#include "quorent/sovereign.hpp"

namespace quorent::sovereign {

namespace {

// The fields that the two forms share, copied from one to the other.
template <class To, class From>
To copy_common(const From& from) {
    To to;
    to.v = from.v;
    to.mode = from.mode;
    to.tenant = from.tenant;
    to.sub = from.sub;
    to.aud = from.aud;
    to.challenge = from.challenge;
    to.exp = from.exp;
    to.root = from.root;
    to.proof = from.proof;
    to.pubkey = from.pubkey;
    to.signature = from.signature;
    to.credential_pubkey = from.credential_pubkey;
    to.authenticator_data = from.authenticator_data;
    to.client_data_json = from.client_data_json;
    to.assertion_sig = from.assertion_sig;
    to.signer = from.signer;
    return to;
}

}  // namespace

DeedRecord deed_to_record(const Deed& deed) {
    auto record = copy_common<DeedRecord>(deed);
    if (deed.grants) record.grants = capability::grants_to_json(*deed.grants);
    if (deed.delegations) record.delegations = capability::delegations_to_json(*deed.delegations);
    return record;
}

Result<Deed> record_to_deed(const DeedRecord& record) {
    auto deed = copy_common<Deed>(record);
    if (record.grants) {
        QUORENT_TRY(deed.grants, capability::grants_from_json(*record.grants));
    }
    if (record.delegations) {
        QUORENT_TRY(deed.delegations, capability::delegations_from_json(*record.delegations));
    }
    return deed;
}

}  // namespace quorent::sovereign
