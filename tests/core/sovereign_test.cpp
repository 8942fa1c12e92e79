// The core deed and the exported deed record (malformed lists: the
// capability-deed interface test).
#include <gtest/gtest.h>

#include "quorent/sovereign.hpp"

using namespace quorent;
using namespace quorent::sovereign;

namespace {

DeedRecord agent_record() {
    DeedRecord r;
    r.v = 1;
    r.mode = "agent-zk";
    r.tenant = 42;
    r.sub = "s";
    r.aud = "https://rp.example";
    r.challenge = "c";
    r.exp = 1700000000;
    r.root = "root-text";
    r.proof = "proof-text";
    return r;
}

}  // namespace

TEST(DeedRecord, AbsentListsStayAbsentAndEmptyOnesStayPresent) {
    DeedRecord record = agent_record();
    auto deed = record_to_deed(record);
    ASSERT_TRUE(deed.ok());
    EXPECT_FALSE(deed->grants || deed->delegations);
    EXPECT_EQ(deed->proof, "proof-text");
    EXPECT_EQ(deed_to_record(deed.value()), record);

    record.grants = " [ ] ";
    record.delegations = "[]";
    deed = record_to_deed(record);
    ASSERT_TRUE(deed.ok());
    EXPECT_EQ(deed->grants, "[]");
    const DeedRecord back = deed_to_record(deed.value());
    EXPECT_EQ(back.grants, "[]");
    EXPECT_EQ(back.delegations, "[]");
}

TEST(DeedRecord, ListsAreCanonicalisedOnTheWayBack) {
    DeedRecord record = agent_record();
    record.grants = R"([ {"cav":{"nb":{"b":2,"a":1.50}},"act":["x"],"res":"r","extra":true} ])";
    record.delegations = R"([{"sig":"ab","epoch":2,"epoch_label":")" + std::string(64, 'F') +
                         R"(","exp":1,"grants":[],"to":"b","iss":"a","pubkey":null}])";
    auto deed = record_to_deed(record);
    ASSERT_TRUE(deed.ok());
    const DeedRecord back = deed_to_record(deed.value());
    EXPECT_EQ(back.grants, R"([{"res":"r","act":["x"],"cav":{"nb":{"a":1.5,"b":2}}}])");
    EXPECT_EQ(back.delegations, R"([{"iss":"a","to":"b","grants":[],"exp":1,"epoch_label":")" + std::string(64, 'f') +
                                    R"(","epoch":2,"sig":"ab"}])");
    EXPECT_EQ(back.root, record.root);
    EXPECT_EQ(back.tenant, 42u);
}
