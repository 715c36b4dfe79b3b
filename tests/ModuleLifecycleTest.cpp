// Module start and stop: the open-dialog choice read from KivClient.ini and written back, all else kept.

#include <gtest/gtest.h>

#include <optional>

#include "CoreTestSupport.h"
#include "picture/ModuleState.h"

namespace {

// Every test keeps KivClient.ini in its own scratch folder and leaves the process-wide state as it found it.
class ModuleSettings : public testing::Test {
  protected:
    void SetUp() override { setenv("KIV_CONFIG_DIR", folder_.Path().c_str(), 1); }
    void TearDown() override {
        old_ ? setenv("KIV_CONFIG_DIR", old_->c_str(), 1) : unsetenv("KIV_CONFIG_DIR");
        KivPictureSetOpenDialogChoice(1);
        KivPictureSetJpegFullColour(0);
        KivPictureSetAutoOrient(0);
    }
    std::string Read(const std::string& name = "KivClient.ini") const {
        return Text(ReadFileBytes(folder_.File(name)));
    }
    void Write(const std::string& text, const std::string& name = "KivClient.ini") const {
        WriteFileBytes(folder_.File(name), Bytes(text.begin(), text.end()));
    }

    ScratchFolder folder_;
    const char* const set_ = std::getenv("KIV_CONFIG_DIR");
    const std::optional<std::string> old_ = set_ ? std::optional<std::string>(set_) : std::nullopt;
};

TEST_F(ModuleSettings, ChoiceIsReadAndWrittenBack) {
    KivPictureSetOpenDialogChoice(0);
    EXPECT_EQ(KivPictureOpen(), 1);
    EXPECT_EQ(KivPictureGetOpenDialogChoice(), 1) << "no file: the simple dialog";
    EXPECT_EQ(KivPictureClose(), 1);
    EXPECT_EQ(Read(), "[COMMON_SETUP]\nOpenPicDlg=1\n") << "closing creates the file";
    // clang-format off
    const std::tuple<std::string, int, std::string> cases[] = {  // blank: the default; else the first number
        {"0", 0, "0"}, {"-3", -3, "-3"}, {"  ", 1, "1"}, {" 2x", 2, "2"}, {"abc", 0, "0"}};
    // clang-format on
    for (const auto& [value, choice, written] : cases) {
        Write("[COMMON_SETUP]\nOpenPicDlg=" + value + "\n");
        KivPictureOpen();
        EXPECT_EQ(KivPictureGetOpenDialogChoice(), choice) << value;
        KivPictureClose();
        EXPECT_EQ(Read(), "[COMMON_SETUP]\nOpenPicDlg=" + written + "\n") << value;
    }
}

// The user's JPEG choices: a key turns its choice on or off, a missing one leaves what the host set; the
// module never writes them.
TEST_F(ModuleSettings, JpegChoicesAreTheUsersWhereTheyAreWritten) {
    // clang-format off
    const std::tuple<std::string, int, int, int> cases[] = {  // the file, the host's choice before, the two after
        {"", 1, 1, 1}, {"[COMMON_SETUP]\nJpegFullColour=1\n", 0, 1, 0},
        {"[COMMON_SETUP]\nJpegAutoOrient=2\nJpegFullColour=0\n", 1, 0, 1},
        {"[Other]\nJpegAutoOrient=1\n", 0, 0, 0}};
    // clang-format on
    for (const auto& [file, before, fullColour, autoOrient] : cases) {
        Write(file);
        KivPictureSetJpegFullColour(before);
        KivPictureSetAutoOrient(before);
        KivPictureOpen();
        EXPECT_EQ(KivPictureGetJpegFullColour(), fullColour) << file;
        EXPECT_EQ(KivPictureGetAutoOrient(), autoOrient) << file;
        KivPictureClose();
        EXPECT_EQ(Read().find("Jpeg"), file.find("Jpeg")) << "written back as it was: " << file;
    }
}

// Only the key's line changes: sections and keys match without regard to case and blanks, a CRLF file keeps
// CRLF, a byte-order mark is no part of a name, and a link and the file's permissions stay.
TEST_F(ModuleSettings, CloseKeepsEveryOtherByte) {
    const std::string before =
        "\xEF\xBB\xBF[Window]\r\nLeft=10\r\n\r\n[ common_setup ]\r\n; c\r\n  openpicdlg\t= 1 \r\n"
        "OpenPicDlgX=4\r\n\r\n[Last]\r\nx=\xFF\xFE";
    Write(before, "real.ini");
    std::filesystem::permissions(folder_.File("real.ini"), std::filesystem::perms(0604));
    std::filesystem::create_symlink("real.ini", folder_.File("KivClient.ini"));
    KivPictureOpen();
    KivPictureSetOpenDialogChoice(0);  // as the detailed dialog does when its check box is cleared
    KivPictureClose();
    std::string after = before;
    after.replace(after.find("  openpicdlg\t= 1 "), 17, "OpenPicDlg=0");
    EXPECT_EQ(Read("real.ini"), after);
    EXPECT_TRUE(std::filesystem::is_symlink(folder_.File("KivClient.ini")));
    EXPECT_EQ(std::filesystem::status(folder_.File("real.ini")).permissions(), std::filesystem::perms(0604));
    EXPECT_EQ(FolderEntries(folder_.Path()), (std::vector<std::string>{"KivClient.ini", "real.ini"}));

    Write("[Other]\na=1\n\n", "real.ini");
    KivPictureOpen();
    KivPictureClose();
    EXPECT_EQ(Read("real.ini"), "[Other]\na=1\n\n[COMMON_SETUP]\nOpenPicDlg=1\n")
        << "a missing section is added";
}

}  // namespace
