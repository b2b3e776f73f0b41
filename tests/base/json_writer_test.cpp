#include "base/json_writer.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

namespace mirebolt::platform {
namespace {

std::string Quoted(std::string_view value) {
    return JsonWriter().String(value).text();
}

TEST(JsonWriter, EscapesWhatJsonForbidsInAString) {
    EXPECT_EQ(Quoted("say \"hi\" \\ bye"), R"("say \"hi\" \\ bye")");
    EXPECT_EQ(Quoted(std::string("a\0b\n\x1F\x7F", 6)), R"("a\u0000b\u000a\u001f)"
                                                        "\x7F\"");
}

// A certificate's name may hold any bytes; the document must stay valid UTF-8 all the same.
TEST(JsonWriter, KeepsUtf8AndReplacesEveryByteThatIsNotPartOfACharacter) {
    const std::string valid = "\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x94\x92";  // é € and U+1F512
    EXPECT_EQ(Quoted(valid), "\"" + valid + "\"");
    for (const std::string& invalid : {
             std::string("\x80"),              // a continuation byte alone
             std::string("\xE9"),              // Latin-1's é
             std::string("\xC0\xAF"),          // an overlong '/'
             std::string("\xED\xA0\x80"),      // a surrogate
             std::string("\xF4\x90\x80\x80"),  // beyond U+10FFFF
             std::string("\xE2\x82"),          // cut short
         }) {
        std::string replaced;
        for (std::size_t i = 0; i < invalid.size(); ++i) {
            replaced += "\\ufffd";
        }
        EXPECT_EQ(Quoted("<" + invalid + ">"), "\"<" + replaced + ">\"")
            << ::testing::PrintToString(invalid);
    }
}

}  // namespace
}  // namespace mirebolt::platform
