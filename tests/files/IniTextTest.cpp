// The settings dialect read and edited by hand: the lines nobody changed stay byte for byte,
// and what is written reads back as it was given.
#include "files/IniText.h"

#include <gtest/gtest.h>

namespace zrk {
namespace {

TEST(IniText, AnEditKeepsEveryOtherLineAndTheLastOfTwoLinesWins) {
    const std::string stored =
        "; written by hand\n"
        "[Ports]\n"
        "COM3=/dev/ttyUSB0\n"
        "COM3=/dev/ttyUSB7\n"
        "\n"
        "[Setting]\n"
        "COM = 4 \n"
        "Odd%20Key=x\n";
    IniText ini(stored);
    EXPECT_EQ(ini.text("Ports", "COM3"), "/dev/ttyUSB7");
    EXPECT_EQ(ini.number("Setting", "COM"), 4);
    EXPECT_EQ(ini.text("Setting", "Odd Key"), "x");
    EXPECT_EQ(IniText(stored).render(), stored);

    ini.setText("Ports", "COM4", "/dev/ttyACM0");
    ini.remove("Ports", "COM3");
    ini.setText("Station", "Recipe", "a b");
    EXPECT_EQ(ini.render(),
              "; written by hand\n"
              "[Ports]\n"
              "COM4=/dev/ttyACM0\n"
              "\n"
              "[Setting]\n"
              "COM = 4 \n"
              "Odd%20Key=x\n"
              "\n"
              "[Station]\n"
              "Recipe=a b\n");
}

TEST(IniText, ValuesReadBackAsWrittenWhateverTheyHold) {
    for (const std::string& value :
         {std::string(""), std::string("plain"), std::string("@at"), std::string("@@twice"),
          std::string(" spaced "), std::string("a,b;c=d\"e\""), std::string("back\\slash"),
          std::string("tab\tnew\nline\rret"),
          std::string("ctl\x01"
                      "1f\x7f"
                      "A"),
          std::string("Grüße 한글")}) {
        IniText ini;
        ini.setText("S", "k", value);
        EXPECT_EQ(IniText(ini.render()).text("S", "k"), value) << ini.render();
    }
}

TEST(IniText, WhatIsNotAPlainStringOrNumberReadsAsAbsent) {
    const IniText ini(
        "[S]\n"
        "list=a, b\n"
        "typed=@Variant(\\0\\0\\0\\x7f)\n"
        "bytes=@ByteArray(abc)\n"
        "comment=value ; note\n"
        "number=12x\n"
        "huge=99999999999999999999\n"
        "noequals\n");
    EXPECT_EQ(ini.text("S", "list"), std::nullopt);
    EXPECT_EQ(ini.text("S", "typed"), std::nullopt);
    EXPECT_EQ(ini.text("S", "bytes"), std::nullopt);
    EXPECT_EQ(ini.text("S", "comment"), "value");
    EXPECT_EQ(ini.number("S", "number"), std::nullopt);
    EXPECT_EQ(ini.number("S", "huge"), std::nullopt);
    EXPECT_EQ(ini.text("S", "noequals"), std::nullopt);
    EXPECT_EQ(ini.text("Other", "list"), std::nullopt);
}

}  // namespace
}  // namespace zrk
