// Module start and stop: the open-dialog choice read from KivClient.ini and written back into it with every
// other byte of the file kept.

#include <gtest/gtest.h>

#include <optional>

#include "TestFiles.h"
#include "picture/ModuleState.h"

namespace {

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

TEST_F(ModuleSettings, ChoiceIsReadAndWrittenBack) {
    SetOpenDialogChoice(0);
    EXPECT_EQ(KivPictureOpen(), 1);
    EXPECT_EQ(GetOpenDialogChoice(), 1) << "no file: the simple dialog";
    EXPECT_EQ(KivPictureClose(), 1);
    EXPECT_EQ(Ini(), "[COMMON_SETUP]\nOpenPicDlg=1\n") << "closing creates the file";
    const std::tuple<std::string, int, std::string> cases[] = {
        {"0", 0, "0"},
        {"-3", -3, "-3"},
        {"", 1, "1"},
        {" 2x", 2, "2"}};  // empty: the default; the leading number
    for (const auto& [value, choice, written] : cases) {
        WriteIni("[COMMON_SETUP]\nOpenPicDlg=" + value + "\n");
        KivPictureOpen();
        EXPECT_EQ(GetOpenDialogChoice(), choice) << value;
        KivPictureClose();
        EXPECT_EQ(Ini(), "[COMMON_SETUP]\nOpenPicDlg=" + written + "\n") << value;
    }
}

TEST_F(ModuleSettings, CloseKeepsTheRestOfTheFile) {
    WriteIni(
        "; host settings\r\n[Window]\r\nLeft=10\r\n\r\n[common_setup]\r\nLanguage=2052\r\n"
        "  openpicdlg = 1 \r\n\r\n[Last]\r\nx=y");
    KivPictureOpen();
    SetOpenDialogChoice(0);  // as the detailed dialog does when its check box is cleared
    KivPictureClose();
    EXPECT_EQ(Ini(),
              "; host settings\r\n[Window]\r\nLeft=10\r\n\r\n[common_setup]\r\nLanguage=2052\r\n"
              "OpenPicDlg=0\r\n\r\n[Last]\r\nx=y");
}

}  // namespace
