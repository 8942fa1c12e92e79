#include "quorent/encoding.hpp"

#include <gtest/gtest.h>

#include <string>

namespace {

// Faults are reported at their byte index, past runs of ASCII of any length
// and at either end of the text.
TEST(Utf8, FirstFaultPositionAndLength) {
    const std::string ascii(19, 'a');
    struct Case {
        std::string text;
        std::size_t valid_up_to, error_len;  // error_len 0: incomplete at the end
    };
    const Case faults[] = {
        {ascii + "\xFF", 19, 1},
        {ascii + "\xC3\xA9" + ascii +
             "\xE2\x82"
             "A",
         40, 2},
        {"\xF0\x9F\x98"
         "A" +
             ascii,
         0, 3},
        {ascii + "\xED\xA0\x80", 19, 1},      // a surrogate
        {ascii + "\xE0\x80\x80", 19, 1},      // overlong
        {ascii + "\xF4\x90\x80\x80", 19, 1},  // above U+10FFFF
        {ascii + "\xF0\x9F\x98", 19, 0},
        {ascii + ascii + "\xC3", 38, 0},
    };
    for (const auto& c : faults) {
        const auto fault = quorent::first_utf8_fault(c.text);
        ASSERT_TRUE(fault.has_value()) << c.valid_up_to;
        EXPECT_EQ(fault->valid_up_to, c.valid_up_to);
        EXPECT_EQ(fault->error_len, c.error_len) << c.valid_up_to;
    }
    EXPECT_TRUE(quorent::is_utf8(""));
    EXPECT_TRUE(quorent::is_utf8(ascii + "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80\xF4\x8F\xBF\xBF" + ascii));
}

}  // namespace
