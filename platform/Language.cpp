#include "platform/Language.h"

#include <cstdlib>
#include <string_view>

namespace {

// The host's override is per thread, as the name says and as the system keeps it: the dialogs run on the
// host's user-interface thread, which is the thread that chooses their language, while a worker thread of
// the host keeps the user's language. Being per thread, it needs no lock.
thread_local LANGID threadLanguage = LANG_NEUTRAL_ID;

// A locale name "language[_territory][.codeset][@modifier]" without its codeset and modifier.
std::string_view LocaleName(std::string_view value) {
    return value.substr(0, value.find_first_of(".@"));
}

LANGID LanguageOfLocale(std::string_view locale) {
    constexpr struct {
        std::string_view name;
        LANGID language;
    } kChinese[] = {
        {"zh_CN", LANG_CHINESE_SIMPLIFIED},  {"zh_SG", LANG_CHINESE_SIMPLIFIED},
        {"zh_TW", LANG_CHINESE_TRADITIONAL}, {"zh_HK", LANG_CHINESE_TRADITIONAL},
        {"zh_MO", LANG_CHINESE_TRADITIONAL},
    };
    for (const auto& entry : kChinese)
        if (locale == entry.name) return entry.language;
    return LANG_ENGLISH_US;
}

}  // namespace

LANGID GetUserDefaultUILanguage() {
    constexpr const char* kVariables[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    for (const char* variable : kVariables) {
        const char* value = std::getenv(variable);
        if (!value) continue;
        std::string_view locale(value);
        if (variable == kVariables[0]) locale = locale.substr(0, locale.find(':'));  // its first choice
        locale = LocaleName(locale);
        if (locale.empty() || locale == "C" || locale == "POSIX") continue;
        return LanguageOfLocale(locale);
    }
    return LANG_ENGLISH_US;
}

LANGID SetThreadUILanguage(LANGID language) {
    threadLanguage = language;
    return GetThreadUILanguage();
}

LANGID GetThreadUILanguage() {
    return threadLanguage != LANG_NEUTRAL_ID ? threadLanguage : GetUserDefaultUILanguage();
}
