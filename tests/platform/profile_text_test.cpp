#include "platform/profile_text.h"

#include <gtest/gtest.h>

#include <string>

namespace tarvu {
namespace {

TEST(ProfileText, FindsValuesByWindowsRules) {
    const std::string text =
        "top=outside\r\n"
        "[ Main ]\r\n"
        "; key=comment\r\n"
        "  Plain  =  value with  inner  blanks \t\r\n"
        "dq=\"quoted \"\r\n"
        "sq='single'\r\n"
        "mixed=\"half'\r\n"
        "lone=\"\r\n"
        "eq=a=b\r\n"
        "bare\r\n"
        "dup=first\r\n"
        "dup=second\r\n"
        "[Other]\r\n"
        "plain=other section";
    EXPECT_EQ(FindProfileValue(text, "main", "PLAIN"), "value with  inner  blanks");
    EXPECT_EQ(FindProfileValue(text, "Main", "dq"), "quoted ");
    EXPECT_EQ(FindProfileValue(text, "Main", "sq"), "single");
    EXPECT_EQ(FindProfileValue(text, "Main", "mixed"), "\"half'");
    EXPECT_EQ(FindProfileValue(text, "Main", "lone"), "\"");
    EXPECT_EQ(FindProfileValue(text, "Main", "eq"), "a=b");
    EXPECT_EQ(FindProfileValue(text, "Main", "bare"), "");
    EXPECT_EQ(FindProfileValue(text, "Main", "dup"), "first");
    EXPECT_EQ(FindProfileValue(text, "OTHER", "plain"), "other section");
    EXPECT_EQ(FindProfileValue(text, "Main", "; key"), std::nullopt);
    EXPECT_EQ(FindProfileValue(text, "Main", "top"), std::nullopt);
    EXPECT_EQ(FindProfileValue(text, "Main", "missing"), std::nullopt);
    EXPECT_EQ(FindProfileValue(text, "Missing", "plain"), std::nullopt);
    EXPECT_EQ(FindProfileValue("", "Main", "plain"), std::nullopt);
}

TEST(ProfileText, ReplacesOnlyTheOldValue) {
    std::string text = "; head\r\n[S]\r\n  Key \t=  old  \r\nnext=1\r\n\r\n";
    SetProfileValue(text, "s", "KEY", "new value");
    EXPECT_EQ(text, "; head\r\n[S]\r\n  Key \t=  new value  \r\nnext=1\r\n\r\n");
    SetProfileValue(text, "S", "key", "");
    EXPECT_EQ(text, "; head\r\n[S]\r\n  Key \t=    \r\nnext=1\r\n\r\n");
    SetProfileValue(text, "S", "key", "x");
    EXPECT_EQ(text, "; head\r\n[S]\r\n  Key \t=    x\r\nnext=1\r\n\r\n");

    std::string bare = "[S]\nflag\nlast=\"q\"";
    SetProfileValue(bare, "S", "flag", "on");
    SetProfileValue(bare, "S", "last", "r");
    EXPECT_EQ(bare, "[S]\nflag=on\nlast=r");
}

TEST(ProfileText, AppendsKeysAfterTheLastKeyLineAndSectionsAtTheEnd) {
    std::string text = "[A]\r\na=1\r\n\r\n; about B\r\n[B]\r\n";
    SetProfileValue(text, "A", "b", "2");
    EXPECT_EQ(text, "[A]\r\na=1\r\nb=2\r\n\r\n; about B\r\n[B]\r\n");
    SetProfileValue(text, "B", "c", "3");
    EXPECT_EQ(text, "[A]\r\na=1\r\nb=2\r\n\r\n; about B\r\n[B]\r\nc=3\r\n");
    SetProfileValue(text, "C", "d", "4");
    EXPECT_EQ(text, "[A]\r\na=1\r\nb=2\r\n\r\n; about B\r\n[B]\r\nc=3\r\n[C]\r\nd=4\r\n");

    std::string header = "[A]";  // no line end after the header
    SetProfileValue(header, "A", "k", "v");
    EXPECT_EQ(header, "[A]\r\nk=v\r\n");

    std::string unix = "x=1\n[A]\nk=v";  // the file's own line ends, a last line without one
    SetProfileValue(unix, "A", "m", "w");
    SetProfileValue(unix, "Z", "n", "u");
    EXPECT_EQ(unix, "x=1\n[A]\nk=v\nm=w\n[Z]\nn=u\n");

    std::string empty;
    SetProfileValue(empty, "UDP", "k", "");
    EXPECT_EQ(empty, "[UDP]\r\nk=\r\n");
}

// A section ends where the next begins: a key found only there is not this section's.
TEST(ProfileText, AKeyOfTheNextSectionBelongsToItAlone) {
    std::string text = "[A]\r\na=1\r\n[B]\r\nonly=b\r\n";
    EXPECT_EQ(FindProfileValue(text, "A", "only"), std::nullopt);
    EXPECT_EQ(FindProfileValue(text, "B", "only"), "b");
    SetProfileValue(text, "A", "only", "a");
    EXPECT_EQ(text, "[A]\r\na=1\r\nonly=a\r\n[B]\r\nonly=b\r\n");
}

TEST(ProfileText, RejectsEntriesThatWouldNotReadBack) {
    EXPECT_TRUE(IsValidProfileEntry("UDP", "PACKETIK", " 7E 7F; [x]=y "));
    EXPECT_FALSE(IsValidProfileEntry("UDP", "K", "a\r\n[Evil]\r\nx=1"));
    EXPECT_FALSE(IsValidProfileEntry("UDP", "K", std::string("a\0b", 3)));
    for (const char* section : {"", "U]DP", "U\nDP"}) {
        EXPECT_FALSE(IsValidProfileEntry(section, "K", "v")) << section;
    }
    for (const char* key : {"", " K", "K=1", "[K", ";K"}) {
        EXPECT_FALSE(IsValidProfileEntry("UDP", key, "v")) << key;
    }
}

}  // namespace
}  // namespace tarvu
