// The user-interface language: which of the module's resource languages the dialogs and the string table
// use. The user's default follows the locale environment; a host may override it for its thread.
#pragma once

#include "platform/WinTypes.h"

using LANGID = WORD;

constexpr LANGID LANG_NEUTRAL_ID = 0;     // a resource that serves every language
constexpr LANGID LANG_ENGLISH_US = 1033;  // also what any locale without a translation gets
constexpr LANGID LANG_CHINESE_SIMPLIFIED = 2052;
constexpr LANGID LANG_CHINESE_TRADITIONAL = 1028;

// The language of the user's locale: the first of LANGUAGE (its first entry of the colon list), LC_ALL,
// LC_MESSAGES and LANG that is set and names neither "C" nor "POSIX". zh_CN and zh_SG give Simplified
// Chinese; zh_TW, zh_HK and zh_MO Traditional Chinese; everything else US English.
KIV_RUNTIME_API LANGID GetUserDefaultUILanguage();

// The host's choice for the calling thread; 0 returns the thread to the user's default. Returns the
// language now in force for the thread.
KIV_RUNTIME_API LANGID SetThreadUILanguage(LANGID language);
// The host's choice for the calling thread if it made one, else the user's default.
KIV_RUNTIME_API LANGID GetThreadUILanguage();
