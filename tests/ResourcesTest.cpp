// The user-interface language, resource languages, the string table, the dialog templates and the drive
// bitmaps of the module's window half (resources/window), read without a window system.

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "KivPicture.h"
#include "TestFiles.h"
#include "libraries/KivModuleRC.h"
#include "platform/DialogTemplate.h"
#include "platform/Language.h"
#include "platform/ModuleResources.h"

extern const ModuleResourceTable kKivPictureUiResources;

namespace {

// Sets LANGUAGE, LC_ALL, LC_MESSAGES and LANG for a scope (null unsets) and restores them afterwards.
class LocaleEnvironment {
  public:
    explicit LocaleEnvironment(std::vector<const char*> values) {
        values.resize(std::size(kNames));
        for (size_t i = 0; i < std::size(kNames); ++i) {
            const char* old = std::getenv(kNames[i]);
            saved_[i] = old ? std::optional<std::string>(old) : std::nullopt;
            values[i] ? setenv(kNames[i], values[i], 1) : unsetenv(kNames[i]);
        }
    }
    ~LocaleEnvironment() {
        for (size_t i = 0; i < std::size(kNames); ++i)
            saved_[i] ? setenv(kNames[i], saved_[i]->c_str(), 1) : unsetenv(kNames[i]);
    }

  private:
    static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    std::optional<std::string> saved_[4];
};

// The calling thread's language for a scope.
struct ThreadLanguage {
    explicit ThreadLanguage(LANGID language) { SetThreadUILanguage(language); }
    ~ThreadLanguage() { SetThreadUILanguage(0); }
};

CString String(UINT id, LANGID language) {
    const ThreadLanguage scope(language);
    CString text;
    EXPECT_TRUE(CKivModuleRC::LoadStringW(&kKivPictureUiResources, id, text)) << id << " in " << language;
    return text;
}

DialogTemplate Dialog(UINT id, LANGID language) {
    const ThreadLanguage scope(language);
    DialogTemplate dialog;
    EXPECT_TRUE(LoadDialogTemplate(&kKivPictureUiResources, id, dialog)) << id << " in " << language;
    return dialog;
}

// The printf conversions of a text, in order.
std::vector<std::string> Conversions(const CString& text) {
    static const std::regex conversion("%[-+ #0-9.*]*[hlLzjt]*[a-zA-Z]");
    const std::string utf8 = text.ToUtf8();
    std::vector<std::string> found;
    for (std::sregex_iterator it(utf8.begin(), utf8.end(), conversion), end; it != end; ++it)
        found.push_back(it->str());
    return found;
}

// The patterns of a file filter "description|pattern|...||": every second field.
std::vector<std::string> FilterPatterns(const CString& text) {
    std::vector<std::string> patterns;
    std::istringstream fields(text.ToUtf8());
    std::string field;
    for (int i = 0; std::getline(fields, field, '|'); ++i)
        if (i % 2) patterns.push_back(field);
    return patterns;
}

// Everything of a template but its texts.
std::string Layout(const DialogTemplate& d) {
    std::ostringstream out;
    const auto rect = [&out](const CRect& r) {
        out << r.left << ',' << r.top << ',' << r.right << ',' << r.bottom;
    };
    out << std::hex << d.style << ' ' << d.fontName.ToUtf8() << ' ' << d.pointSize << ' ';
    rect(d.rect);
    for (const DialogItemTemplate& item : d.items) {
        out << ';' << item.id << ' ' << item.className.ToUtf8() << ' ' << item.style << ' ' << item.exStyle
            << ' ';
        rect(item.rect);
    }
    return out.str();
}

}  // namespace

TEST(Language, UserDefaultFollowsTheLocaleEnvironment) {
    // Why; LANGUAGE, LC_ALL, LC_MESSAGES and LANG; the language expected.
    const std::tuple<const char*, std::vector<const char*>, LANGID> cases[] = {
        {"nothing set", {}, LANG_ENGLISH_US},
        {"mainland China", {nullptr, nullptr, nullptr, "zh_CN.UTF-8"}, LANG_CHINESE_SIMPLIFIED},
        {"Singapore", {nullptr, nullptr, nullptr, "zh_SG"}, LANG_CHINESE_SIMPLIFIED},
        {"Taiwan, with a codeset", {nullptr, nullptr, nullptr, "zh_TW.Big5"}, LANG_CHINESE_TRADITIONAL},
        {"Hong Kong", {nullptr, nullptr, nullptr, "zh_HK.UTF-8"}, LANG_CHINESE_TRADITIONAL},
        {"Macau, with a modifier", {nullptr, nullptr, nullptr, "zh_MO@euro"}, LANG_CHINESE_TRADITIONAL},
        {"Chinese without a region", {nullptr, nullptr, nullptr, "zh"}, LANG_ENGLISH_US},
        {"another language", {nullptr, nullptr, nullptr, "fr_FR.UTF-8"}, LANG_ENGLISH_US},
        {"LC_MESSAGES before LANG", {nullptr, nullptr, "en_GB.UTF-8", "zh_CN.UTF-8"}, LANG_ENGLISH_US},
        {"LC_ALL before LC_MESSAGES", {nullptr, "zh_TW.UTF-8", "zh_CN.UTF-8"}, LANG_CHINESE_TRADITIONAL},
        {"LANGUAGE first, its first entry", {"zh_HK:zh_CN", "zh_CN.UTF-8"}, LANG_CHINESE_TRADITIONAL},
        {"empty, C and POSIX pass on", {"", "C.UTF-8", "POSIX", "zh_SG.UTF-8"}, LANG_CHINESE_SIMPLIFIED},
        {"LANGUAGE's empty first entry passes on", {":zh_CN", nullptr, nullptr, "de_DE"}, LANG_ENGLISH_US},
    };
    for (const auto& [why, values, expected] : cases) {
        const LocaleEnvironment env(values);
        EXPECT_EQ(std::pair(GetUserDefaultUILanguage(), GetThreadUILanguage()), std::pair(expected, expected))
            << why;
    }
}

// The override belongs to the thread that made it; 0 gives the thread the user's language again.
TEST(Language, HostOverrideIsPerThreadUntilCleared) {
    const LocaleEnvironment env({nullptr, nullptr, nullptr, "zh_CN.UTF-8"});
    EXPECT_EQ(SetThreadUILanguage(LANG_CHINESE_TRADITIONAL), LANG_CHINESE_TRADITIONAL);
    EXPECT_EQ(GetThreadUILanguage(), LANG_CHINESE_TRADITIONAL);
    LANGID other = 0;
    std::thread([&other] { other = GetThreadUILanguage(); }).join();
    EXPECT_EQ(other, LANG_CHINESE_SIMPLIFIED);
    EXPECT_EQ(SetThreadUILanguage(0), LANG_CHINESE_SIMPLIFIED);
}

// Among the entries of one type and name: the language asked for, else neutral, else US English, else the
// first. An entry of another name in the language asked for never wins.
TEST(ModuleResources, LanguageFallsBackToNeutralThenEnglishThenFirst) {
    // Why, the entries' languages, the language asked for, and the index of the entry expected.
    const std::tuple<const char*, std::vector<LANGID>, LANGID, size_t> cases[] = {
        {"exact", {2052, 1033, 1028}, 1028, 2},
        {"neutral before English", {2052, 1033, 0}, 1028, 2},
        {"English before the first", {2052, 1041, 1033}, 1028, 2},
        {"the first", {2052, 1041}, 1028, 0},
        {"a neutral resource serves all", {0}, 2052, 0},
    };
    const BYTE data[] = {0};
    for (const auto& [why, languages, wanted, expected] : cases) {
        std::vector<ModuleResourceEntry> entries{{10, nullptr, 2, nullptr, data, 1, wanted}};
        for (LANGID language : languages) entries.push_back({10, nullptr, 1, nullptr, data, 1, language});
        const ModuleResourceTable table{"languages", entries.data(), entries.size()};
        const ModuleResourceEntry* const found = &entries[expected + 1];
        EXPECT_EQ(FindResourceExW(&table, RT_RCDATA, MAKEINTRESOURCEW(1), wanted), found) << why;
        const ThreadLanguage scope(wanted);
        EXPECT_EQ(FindResourceW(&table, MAKEINTRESOURCEW(1), RT_RCDATA), found) << why;
    }
}

// Every string the dialogs and the save prompt use exists in all three languages; the Chinese texts keep the
// English printf conversions in order and the filters' patterns, and translate everything but extensions.
TEST(ModuleStrings, EveryStringInEveryLanguage) {
    std::vector<UINT> ids = {350, 351, 400, 401};
    for (const auto& [first, last] : {std::pair{410u, 416u}, {418u, 423u}, {500u, 505u}, {664u, 673u}})
        for (UINT id = first; id <= last; ++id) ids.push_back(id);
    const std::vector<UINT> extensions = {421, 422, 423, 667, 668, 669};
    for (UINT id : ids) {
        const CString english = String(id, LANG_ENGLISH_US);
        ASSERT_FALSE(english.IsEmpty()) << id;
        for (LANGID language : {LANG_CHINESE_SIMPLIFIED, LANG_CHINESE_TRADITIONAL}) {
            const CString chinese = String(id, language);
            EXPECT_EQ(Conversions(chinese), Conversions(english)) << id << " in " << language;
            EXPECT_EQ(FilterPatterns(chinese), FilterPatterns(english)) << id << " in " << language;
            const bool extension = std::find(extensions.begin(), extensions.end(), id) != extensions.end();
            EXPECT_EQ(chinese == english, extension) << id << " in " << language << ": " << chinese.ToUtf8();
        }
    }
    EXPECT_EQ(String(672, LANG_ENGLISH_US), CString(L"Unkonwn(Invalid Format)"))
        << "kept as the module has it";
    CString text = L"left over";
    EXPECT_FALSE(CKivModuleRC::LoadStringW(&kKivPictureUiResources, 9999, text));
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_FALSE(CKivModuleRC::LoadStringW(nullptr, 400, text));
}

// The table's own syntax: escapes, CR-LF line ends, comments and lines that are not "ID<TAB>text".
TEST(ModuleStrings, EscapesCommentsAndLineEnds) {
    const char table[] =
        "# 1\tcomment\n\n2\tA\\tB\\nC\\\\D\\q\r\n3 no tab\n 4\tleading blank\n5\t\n6\t\xE4\xB8\xAD";
    const ModuleResourceEntry entry{
        6, nullptr, 1, nullptr, reinterpret_cast<const BYTE*>(table), sizeof table - 1};
    const ModuleResourceTable module{"strings", &entry, 1};
    const struct {
        UINT id;
        BOOL found;
        const wchar_t* text;
    } cases[] = {{1, FALSE, L""}, {2, TRUE, L"A\tB\nC\\D\\q"}, {3, FALSE, L""}, {4, FALSE, L""},
                 {5, TRUE, L""},  {6, TRUE, L"\u4E2D"}};
    for (const auto& c : cases) {
        CString text;
        EXPECT_EQ(CKivModuleRC::LoadStringW(&module, c.id, text), c.found) << c.id;
        EXPECT_EQ(text, CString(c.text)) << c.id;
    }
}

// Each template has one layout in all three languages; its texts are translated (placeholders aside) and
// keep their "@p"/"@c" suffixes.
TEST(DialogTemplates, OneLayoutInEveryLanguage) {
    for (UINT id : {224u, 225u, 226u}) {
        const DialogTemplate english = Dialog(id, LANG_ENGLISH_US);
        for (LANGID language : {LANG_CHINESE_SIMPLIFIED, LANG_CHINESE_TRADITIONAL}) {
            const DialogTemplate chinese = Dialog(id, language);
            EXPECT_EQ(Layout(chinese), Layout(english)) << id;
            EXPECT_EQ(chinese.caption == english.caption, english.caption.IsEmpty()) << id << ": translated";
            ASSERT_EQ(chinese.items.size(), english.items.size()) << id;
            for (size_t i = 0; i < english.items.size(); ++i) {
                const DialogItemTemplate &e = english.items[i], &c = chinese.items[i];
                const std::string where = std::to_string(id) + "/" + std::to_string(e.id);
                const bool placeholder =
                    e.text.IsEmpty() || e.text == CString(L"Static") || e.text == CString(L"Tree1");
                EXPECT_EQ(c.text == e.text, placeholder) << where << " in " << language;
                EXPECT_EQ(StripCaptionSuffix(c.text).GetLength() + 2 == c.text.GetLength(),
                          StripCaptionSuffix(e.text).GetLength() + 2 == e.text.GetLength())
                    << where << " keeps its suffix";
            }
        }
    }
}

// Spot checks against the dialogs' layout tables: rectangles are (x, y, x + w, y + h).
TEST(DialogTemplates, MatchTheDialogLayouts) {
    const DialogTemplate d224 = Dialog(224, LANG_ENGLISH_US), d225 = Dialog(225, LANG_ENGLISH_US),
                         d226 = Dialog(226, LANG_ENGLISH_US);
    // Each dialog's style, rectangle and number of items; below, controls' class, style bits that must be
    // set, rectangle and text.
    const std::tuple<const DialogTemplate&, DWORD, CRect, size_t> dialogs[] = {
        {d224, WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT, CRect(0, 0, 370, 315), 5},
        {d225, WS_CHILD | WS_CLIPSIBLINGS | DS_3DLOOK | DS_CONTROL | DS_SETFONT, CRect(36, 24, 306, 89), 8},
        {d226, WS_CHILD | DS_SETFONT, CRect(0, 0, 400, 290), 16},  // hidden, no caption
    };
    for (const auto& [dialog, style, rect, items] : dialogs)
        EXPECT_EQ(
            std::tuple(dialog.style, dialog.rect, dialog.items.size(), dialog.fontName, dialog.pointSize),
            std::tuple(style, rect, items, CString(L"Times New Roman"), 9));
    EXPECT_EQ(d224.caption, CString(L"Open Image File"));

    const std::tuple<const DialogTemplate&, int, const wchar_t*, DWORD, CRect, const wchar_t*> cases[] = {
        {d224, 1, L"BUTTON", WS_VISIBLE | BS_PUSHBUTTON, CRect(283, 300, 322, 314), L"OK@p"},
        {d224, 4006, L"BUTTON", WS_VISIBLE | BS_AUTOCHECKBOX, CRect(139, 299, 283, 309),
         L"Read Original Position Picture@c"},
        {d225, 1000, L"STATIC", SS_SUNKEN | SS_CENTERIMAGE, CRect(127, 19, 264, 31), L"Static"},
        {d225, 4005, L"BUTTON", BS_AUTOCHECKBOX, CRect(161, 49, 281, 59), L"Use Detailed File Dialog@c"},
        {d226, 1002, L"COMBOBOX", CBS_DROPDOWNLIST | WS_VSCROLL, CRect(35, 1, 108, 102), L""},
        {d226, 1003, L"SysTreeView32",
         TVS_HASBUTTONS | TVS_HASLINES | TVS_LINESATROOT | TVS_EDITLABELS | TVS_SHOWSELALWAYS,
         CRect(3, 17, 106, 212), L"Tree1"},
        {d226, 4002, L"EDIT", ES_AUTOHSCROLL | WS_BORDER, CRect(109, 231, 176, 243), L""},
        {d226, 4003, L"STATIC", WS_BORDER, CRect(3, 216, 83, 286), L"Static"},
        {d226, 4004, L"BUTTON", BS_PUSHBUTTON, CRect(358, 215, 397, 229), L"View@p"},
    };
    for (const auto& [dialog, id, className, style, rect, text] : cases) {
        const auto item =
            std::find_if(dialog.items.begin(), dialog.items.end(),
                         [want = id](const DialogItemTemplate& each) { return each.id == want; });
        ASSERT_NE(item, dialog.items.end()) << id;
        EXPECT_EQ(std::tuple(item->className, item->style & style, item->rect, item->text),
                  std::tuple(CString(className), style, rect, CString(text)))
            << id;
    }
    const auto& preview = d226.items.back();
    EXPECT_EQ(preview.id, 4003);
    EXPECT_EQ(preview.style & WS_VISIBLE, 0u) << "the preview control only lends its rectangle";
}

// The parser refuses what it cannot read exactly and leaves the caller's template as it was; a language
// without a text of its own gets the US English one.
TEST(DialogTemplates, MalformedTemplatesDoNotLoad) {
    const auto load = [](const std::string& xml, DialogTemplate& out, LANGID language = LANG_ENGLISH_US) {
        const ModuleResourceEntry entry{5, nullptr, 7, nullptr, reinterpret_cast<const BYTE*>(xml.data()),
                                        static_cast<DWORD>(xml.size())};
        const ModuleResourceTable module{"dialogs", &entry, 1};
        const ThreadLanguage scope(language);
        return LoadDialogTemplate(&module, 7, out);
    };
    const std::string head =
        R"(<dialog style="WS_CHILD | DS_SETFONT" rect="1, 2, 30, 40" font="F" pointsize="8">)";
    const auto control = [&](const std::string& attributes) {
        return head + "<control " + attributes + "/></dialog>";
    };
    const std::pair<const char*, std::string> bad[] = {
        {"not XML", "<dialog"},
        {"no dialog element", "<template/>"},
        {"an unknown style",
         control(R"(id="1" class="STATIC" style="WS_CHILD | SS_NOSUCH" rect="0, 0, 1, 1")")},
        {"three numbers for a rectangle", control(R"(id="1" class="STATIC" rect="0, 0, 1")")},
        {"a number with trailing text", control(R"(id="1x" class="STATIC" rect="0, 0, -1, 1")")},
        {"no class", control(R"(id="1" rect="0, 0, 1, 1")")},
        {"DS_SETFONT without a size", R"(<dialog style="DS_SETFONT" rect="0, 0, 1, 1" font="F"/>)"},
    };
    for (const auto& [why, xml] : bad) {
        DialogTemplate out;
        out.caption = L"unchanged";
        EXPECT_FALSE(load(xml, out)) << why;
        EXPECT_EQ(out.caption, CString(L"unchanged")) << why;
    }
    DialogTemplate out;
    ASSERT_TRUE(load(control(R"(id="-1" class="STATIC" rect=" 5,6 , 7, 8" text="Hi" text.2052="Ni hao")"),
                     out, LANG_CHINESE_TRADITIONAL));
    EXPECT_EQ(out.rect, CRect(1, 2, 31, 42));
    ASSERT_EQ(out.items.size(), 1u);
    EXPECT_EQ(out.items[0].rect, CRect(5, 6, 12, 14));
    EXPECT_EQ(out.items[0].style, 0u) << "no style attribute: no style";
    EXPECT_EQ(out.items[0].text, CString(L"Hi")) << "1028 has no text of its own";
    DialogTemplate missing;
    EXPECT_FALSE(LoadDialogTemplate(&kKivPictureUiResources, 227, missing));
}

TEST(DialogTemplates, StripCaptionSuffix) {
    const std::pair<const wchar_t*, const wchar_t*> cases[] = {
        {L"OK@p", L"OK"}, {L"Use@c", L"Use"}, {L"@p", L""},   {L"View@p@p", L"View@p"},
        {L"a@x", L"a@x"}, {L"@P", L"@P"},     {L"p@", L"p@"}, {L"", L""},
    };
    for (const auto& [text, shown] : cases) EXPECT_EQ(StripCaptionSuffix(text), CString(shown)) << text;
}

// The drive box's bitmaps: 16 x 16 on white, which is their transparent colour, with a drawing on it.
TEST(DriveBitmaps, AllFourLoadAs16x16) {
    for (UINT id = 129; id <= 132; ++id) {
        LoadedPicture picture;
        picture.pixels = KivPictureLoadBMPInRC(&kKivPictureUiResources, MAKEINTRESOURCEW(id), picture.rect);
        ASSERT_NE(picture.pixels, nullptr) << id;
        ASSERT_EQ(picture.rect, CRect(0, 0, 16, 16)) << id;
        EXPECT_EQ(picture.At(0, 0), 0xFFFFFFFFu) << id << ": a white corner";
        EXPECT_LT(std::count(picture.pixels, picture.pixels + 256, 0xFFFFFFFFu), 256 - 40) << id;  // drawn
    }
}
