// The window's "Save report...": after a bring-up and a download on the simulated phone, the
// log pane's menu writes the same run report the command line writes, and it conforms.
#include <fstream>

#include "SimWindowFixture.h"
#include "engine/Checksums.h"
#include "support/JsonSchemaCheck.h"
#include "support/TestImages.h"

namespace zrk::test {
namespace {

class WindowReport : public SimWindowFixture {};

TEST_F(WindowReport, SavesTheLastPhonesOperationsAsTheCommandLineDoes) {
    startPhone();
    chooseSpeed(3);
    ASSERT_TRUE(bringUp()) << log();
    const Bytes image = randomImage(70000, 21);
    const std::string imagePath = pickImage(image);
    ASSERT_TRUE(operate("downloadButton")) << log();

    const QString reportPath = dir.filePath(QStringLiteral("window.json"));
    prompter.saveAnswers.push_back(reportPath);
    window->saveReport();
    ASSERT_TRUE(logHas("** Report saved: " + reportPath.toStdString())) << log();

    std::ifstream in(reportPath.toStdString());
    const auto j = nlohmann::json::parse(in);
    std::ifstream schemaIn(ZRK_REPORT_SCHEMA);
    const auto problems = JsonSchemaCheck(nlohmann::json::parse(schemaIn)).problems(j);
    EXPECT_TRUE(problems.empty()) << problems.front();

    EXPECT_EQ(j["program"], "zrk410-gui");
    ASSERT_EQ(j["ports"].size(), 1u);
    EXPECT_EQ(j["ports"][0]["port"], "COM1");
    const auto& phone = j["ports"][0]["phones"][0];
    EXPECT_EQ(phone["flash"]["name"], "LMR20TQ55P");
    EXPECT_EQ(phone["result"], "passed");
    ASSERT_EQ(phone["operations"].size(), 2u);
    EXPECT_EQ(phone["operations"][0]["operation"], "bring-up");
    const auto& download = phone["operations"][1];
    EXPECT_EQ(download["operation"], "firmware-download");
    EXPECT_EQ(download["outcome"], "completed");
    EXPECT_EQ(download["bytes"], image.size());
    EXPECT_EQ(download["images"][0]["path"], imagePath);
    char crc[16];
    std::snprintf(crc, sizeof crc, "0x%08x", crc32(image.data(), image.size()));
    EXPECT_EQ(download["images"][0]["crc32"], crc);
}

}  // namespace
}  // namespace zrk::test
