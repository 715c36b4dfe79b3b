// Module start and stop: the product table, the persisted open-dialog choice and the original-position flags.

#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <string>

#include <gtest/gtest.h>

#include "KivPicture.h"
#include "TestFiles.h"
#include "picture/ModuleState.h"

namespace {

constexpr const char* kFreshProcessVariable = "KIV_TEST_FRESH_PROCESS";

int Product(int a, int b) {
    return GetProductTable()[a * kProductTableSide + b];
}

// The state at load can only be seen before any other test opened the module, so the check runs this test
// binary again, limited to the one test, in a new process.
TEST(ModuleLifecycle, StateAtLoadBeforeOpen) {
    if (!std::getenv(kFreshProcessVariable)) {
        const pid_t pid = fork();
        if (pid == 0) {
            setenv(kFreshProcessVariable, "1", 1);
            execl("/proc/self/exe", "kivpicture_tests",
                  "--gtest_filter=ModuleLifecycle.StateAtLoadBeforeOpen", static_cast<char*>(nullptr));
            _exit(127);
        }
        int status = 0;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "the check in a fresh process failed";
        return;
    }
    int nonZero = 0;
    for (int i = 0; i < kProductTableSide * kProductTableSide; ++i) nonZero += GetProductTable()[i] != 0;
    EXPECT_EQ(nonZero, 0) << "the table is all zero until KivPictureOpen";
    EXPECT_EQ(GetOpenDialogChoice(), 1);
    EXPECT_EQ(GP_GetOrgPicPos(), 0);
    EXPECT_EQ(GetOrgPicPosEnabled(), 0);
}

// Every test keeps KivClient.ini in its own scratch folder and leaves the process-wide state as it found it.
class ModuleSettings : public testing::Test {
  protected:
    void SetUp() override {
        if (const char* old = std::getenv("KIV_CONFIG_DIR")) oldConfig_ = old;
        setenv("KIV_CONFIG_DIR", folder_.Path().c_str(), 1);
    }
    void TearDown() override {
        oldConfig_ ? setenv("KIV_CONFIG_DIR", oldConfig_->c_str(), 1) : unsetenv("KIV_CONFIG_DIR");
        SetOpenDialogChoice(1);
    }
    std::string Ini() const {
        const Bytes bytes = ReadFileBytes(folder_.File("KivClient.ini"));
        return std::string(bytes.begin(), bytes.end());
    }
    void WriteIni(const std::string& text) const {
        WriteFileBytes(folder_.File("KivClient.ini"), Bytes(text.begin(), text.end()));
    }

    ScratchFolder folder_;
    std::optional<std::string> oldConfig_;
};

TEST_F(ModuleSettings, OpenFillsTheProductTable) {
    EXPECT_EQ(KivPictureOpen(), 1);
    EXPECT_EQ(Product(255, 255), 65025) << "the largest product still fits in 16 bits";
    EXPECT_EQ(Product(17, 3), 51);
    EXPECT_EQ(Product(1, 200), 200);
    for (int i = 0; i < kProductTableSide; ++i) {
        EXPECT_EQ(Product(0, i), 0) << i;
        EXPECT_EQ(Product(i, 0), 0) << i;
    }
    EXPECT_EQ(KivPictureClose(), 1);
    EXPECT_EQ(Product(255, 255), 65025) << "closing leaves the table filled";
}

TEST_F(ModuleSettings, MissingFileChoosesTheSimpleDialogAndCloseCreatesIt) {
    SetOpenDialogChoice(0);
    KivPictureOpen();
    EXPECT_EQ(GetOpenDialogChoice(), 1);
    KivPictureClose();
    EXPECT_EQ(Ini(), "[COMMON_SETUP]\nOpenPicDlg=1\n");
}

TEST_F(ModuleSettings, ChoiceIsReadAndWrittenBack) {
    const struct {
        std::string value;
        int choice;
        std::string written;
        const char* reason;
    } cases[] = {
        {"0", 0, "0", "0 selects the detailed dialog"},   {"1", 1, "1", "1 selects the simple dialog"},
        {"7", 7, "7", "another integer is kept as read"}, {"-3", -3, "-3", "a negative integer is kept too"},
        {"", 1, "1", "an empty value gives the default"}, {" 2x", 2, "2", "the leading number of the text"},
    };
    for (const auto& c : cases) {
        WriteIni("[COMMON_SETUP]\nOpenPicDlg=" + c.value + "\n");
        KivPictureOpen();
        EXPECT_EQ(GetOpenDialogChoice(), c.choice) << c.reason;
        KivPictureClose();
        EXPECT_EQ(Ini(), "[COMMON_SETUP]\nOpenPicDlg=" + c.written + "\n") << c.reason;
    }
}

TEST_F(ModuleSettings, CloseKeepsTheRestOfTheFile) {
    const std::string before =
        "; host settings\r\n[Window]\r\nLeft=10\r\n\r\n[common_setup]\r\nLanguage=2052\r\n"
        "  openpicdlg = 1 \r\n\r\n[Last]\r\nx=y";
    WriteIni(before);
    KivPictureOpen();
    SetOpenDialogChoice(0);  // as the detailed dialog does when its check box is cleared
    KivPictureClose();
    EXPECT_EQ(Ini(),
              "; host settings\r\n[Window]\r\nLeft=10\r\n\r\n[common_setup]\r\nLanguage=2052\r\n"
              "OpenPicDlg=0\r\n\r\n[Last]\r\nx=y");
}

TEST(ModuleFlags, OriginalPositionFlagsRoundTrip) {
    for (const int value : {1, 0, 2}) {
        GP_SetOrgPicPos(value);
        EXPECT_EQ(GP_GetOrgPicPos(), value);
        GP_EnableOrgPicPos(value);
        EXPECT_EQ(GetOrgPicPosEnabled(), value);
    }
    GP_SetOrgPicPos(0);
    GP_EnableOrgPicPos(0);
}

}  // namespace
