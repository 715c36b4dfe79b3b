// Dialog templates are XML files compiled in as RT_DIALOG resources (see resources/window/dialog224.xml):
//
//   <dialog style="WS_POPUP | DS_SETFONT" rect="0, 0, 370, 315" font="Times New Roman" pointsize="9"
//           caption="Open Image File" caption.2052="..." caption.1028="...">
//     <control id="1" class="BUTTON" style="WS_CHILD | BS_PUSHBUTTON" rect="283, 300, 39, 14"
//              text="OK@p" text.2052="..." text.1028="..."/>
//   </dialog>
//
// Styles are the names of platform/WindowStyles.h joined by '|'; rectangles are "x, y, w, h" in dialog
// units. A text's attribute with a language suffix serves that language; without a suffix it is the US
// English text and serves every language that has none of its own. A template with an unknown style name,
// a malformed number or a missing attribute does not load: the templates are our own data, so a mistake
// in them should fail the tests, not show a half-built dialog.

#include "platform/DialogTemplate.h"

#include <charconv>
#include <new>
#include <optional>
#include <string>
#include <string_view>

#include <pugixml.hpp>

#include "platform/Language.h"
#include "platform/ModuleResources.h"

namespace {

// clang-format off
#define KIV_STYLE(name) {#name, name}
constexpr struct {
    std::string_view name;
    DWORD value;
} kStyleNames[] = {
    KIV_STYLE(WS_OVERLAPPED),    KIV_STYLE(WS_POPUP),         KIV_STYLE(WS_CHILD),
    KIV_STYLE(WS_MINIMIZE),      KIV_STYLE(WS_VISIBLE),       KIV_STYLE(WS_DISABLED),
    KIV_STYLE(WS_CLIPSIBLINGS),  KIV_STYLE(WS_CLIPCHILDREN),  KIV_STYLE(WS_MAXIMIZE),
    KIV_STYLE(WS_BORDER),        KIV_STYLE(WS_DLGFRAME),      KIV_STYLE(WS_CAPTION),
    KIV_STYLE(WS_VSCROLL),       KIV_STYLE(WS_HSCROLL),       KIV_STYLE(WS_SYSMENU),
    KIV_STYLE(WS_THICKFRAME),    KIV_STYLE(WS_GROUP),         KIV_STYLE(WS_TABSTOP),
    KIV_STYLE(WS_EX_DLGMODALFRAME), KIV_STYLE(WS_EX_NOPARENTNOTIFY), KIV_STYLE(WS_EX_TRANSPARENT),
    KIV_STYLE(WS_EX_CLIENTEDGE), KIV_STYLE(WS_EX_STATICEDGE),
    KIV_STYLE(DS_3DLOOK),        KIV_STYLE(DS_FIXEDSYS),      KIV_STYLE(DS_SETFONT),
    KIV_STYLE(DS_MODALFRAME),    KIV_STYLE(DS_CONTROL),       KIV_STYLE(DS_CENTER),
    KIV_STYLE(BS_PUSHBUTTON),    KIV_STYLE(BS_DEFPUSHBUTTON), KIV_STYLE(BS_CHECKBOX),
    KIV_STYLE(BS_AUTOCHECKBOX),  KIV_STYLE(BS_RADIOBUTTON),   KIV_STYLE(BS_GROUPBOX),
    KIV_STYLE(BS_AUTORADIOBUTTON),
    KIV_STYLE(SS_LEFT),          KIV_STYLE(SS_CENTER),        KIV_STYLE(SS_RIGHT),
    KIV_STYLE(SS_BLACKRECT),     KIV_STYLE(SS_BLACKFRAME),    KIV_STYLE(SS_LEFTNOWORDWRAP),
    KIV_STYLE(SS_NOTIFY),        KIV_STYLE(SS_CENTERIMAGE),   KIV_STYLE(SS_SUNKEN),
    KIV_STYLE(CBS_SIMPLE),       KIV_STYLE(CBS_DROPDOWN),     KIV_STYLE(CBS_DROPDOWNLIST),
    KIV_STYLE(CBS_AUTOHSCROLL),  KIV_STYLE(CBS_SORT),         KIV_STYLE(CBS_HASSTRINGS),
    KIV_STYLE(ES_LEFT),          KIV_STYLE(ES_CENTER),        KIV_STYLE(ES_RIGHT),
    KIV_STYLE(ES_MULTILINE),     KIV_STYLE(ES_AUTOVSCROLL),   KIV_STYLE(ES_AUTOHSCROLL),
    KIV_STYLE(ES_READONLY),
    KIV_STYLE(TVS_HASBUTTONS),   KIV_STYLE(TVS_HASLINES),     KIV_STYLE(TVS_LINESATROOT),
    KIV_STYLE(TVS_EDITLABELS),   KIV_STYLE(TVS_DISABLEDRAGDROP), KIV_STYLE(TVS_SHOWSELALWAYS),
};
#undef KIV_STYLE
// clang-format on

std::string_view TrimBlanks(std::string_view text) {
    const size_t first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(" \t\r\n") - first + 1);
}

// "NAME | NAME ..." as the sum of the names' bits; an absent attribute is no style at all.
std::optional<DWORD> ParseStyle(std::string_view text) {
    DWORD style = 0;
    if (TrimBlanks(text).empty()) return style;
    while (true) {
        const size_t bar = text.find('|');
        const std::string_view name = TrimBlanks(text.substr(0, bar));
        bool known = false;
        for (const auto& entry : kStyleNames)
            if (entry.name == name) {
                style |= entry.value;
                known = true;
                break;
            }
        if (!known) return std::nullopt;
        if (bar == std::string_view::npos) return style;
        text.remove_prefix(bar + 1);
    }
}

std::optional<int> ParseInt(std::string_view text) {
    text = TrimBlanks(text);
    int value = 0;
    const auto [stop, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || stop != text.data() + text.size() || text.empty()) return std::nullopt;
    return value;
}

// "x, y, w, h" as the rectangle (x, y, x + w, y + h).
std::optional<CRect> ParseRect(std::string_view text) {
    int values[4] = {};
    for (int i = 0; i < 4; ++i) {
        const size_t comma = text.find(',');
        if ((comma == std::string_view::npos) != (i == 3)) return std::nullopt;
        const std::optional<int> value = ParseInt(text.substr(0, comma));
        if (!value) return std::nullopt;
        values[i] = *value;
        if (comma != std::string_view::npos) text.remove_prefix(comma + 1);
    }
    if (values[2] < 0 || values[3] < 0) return std::nullopt;
    return CRect(values[0], values[1], values[0] + values[2], values[1] + values[3]);
}

// The attribute's text in the language: "name.<language>" when the element has it, else "name".
CString LocalText(const pugi::xml_node& element, const char* name, LANGID language) {
    const std::string localName = std::string(name) + "." + std::to_string(language);
    pugi::xml_attribute attribute = element.attribute(localName.c_str());
    if (!attribute) attribute = element.attribute(name);
    return CString::FromUtf8(attribute.value());
}

bool ParseItem(const pugi::xml_node& element, LANGID language, DialogItemTemplate& item) {
    const std::optional<int> id = ParseInt(element.attribute("id").value());
    const std::optional<DWORD> style = ParseStyle(element.attribute("style").value());
    const std::optional<DWORD> exStyle = ParseStyle(element.attribute("exstyle").value());
    const std::optional<CRect> rect = ParseRect(element.attribute("rect").value());
    const std::string_view className = element.attribute("class").value();
    if (!id || !style || !exStyle || !rect || className.empty()) return false;
    item.id = *id;
    item.className = CString::FromUtf8(className);
    item.text = LocalText(element, "text", language);
    item.style = *style;
    item.exStyle = *exStyle;
    item.rect = *rect;
    return true;
}

bool ParseTemplate(const BYTE* data, DWORD size, LANGID language, DialogTemplate& dialog) {
    pugi::xml_document document;
    if (!document.load_buffer(data, size, pugi::parse_default, pugi::encoding_utf8)) return false;
    const pugi::xml_node root = document.child("dialog");
    if (!root) return false;
    const std::optional<DWORD> style = ParseStyle(root.attribute("style").value());
    const std::optional<CRect> rect = ParseRect(root.attribute("rect").value());
    if (!style || !rect) return false;
    dialog.style = *style;
    dialog.rect = *rect;
    dialog.caption = LocalText(root, "caption", language);
    dialog.fontName = CString::FromUtf8(root.attribute("font").value());
    if (*style & DS_SETFONT) {
        const std::optional<int> points = ParseInt(root.attribute("pointsize").value());
        if (!points || *points <= 0 || dialog.fontName.IsEmpty()) return false;
        dialog.pointSize = *points;
    }
    for (const pugi::xml_node& element : root.children("control")) {
        DialogItemTemplate item;
        if (!ParseItem(element, language, item)) return false;
        dialog.items.push_back(std::move(item));
    }
    return true;
}

}  // namespace

BOOL LoadDialogTemplate(HINSTANCE module, UINT id, DialogTemplate& out) {
    if (id == 0 || id > 0xFFFF) return FALSE;
    HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), RT_DIALOG);
    if (!resource) return FALSE;
    const auto* data = static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
    try {
        DialogTemplate dialog;
        if (!data || !ParseTemplate(data, SizeofResource(module, resource), GetThreadUILanguage(), dialog))
            return FALSE;
        out = std::move(dialog);
        return TRUE;
    } catch (const std::bad_alloc&) {
        return FALSE;
    }
}

CString StripCaptionSuffix(const CString& text) {
    const std::wstring& whole = text.Text();
    if (whole.ends_with(L"@p") || whole.ends_with(L"@c")) return CString(whole.substr(0, whole.size() - 2));
    return text;
}
