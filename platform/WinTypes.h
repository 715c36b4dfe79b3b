// The integer, handle and resource-identifier types of the system interface the module is written
// against, mapped onto fixed-width Linux types.
#pragma once

#include <cstddef>
#include <cstdint>

using BYTE = std::uint8_t;
using WORD = std::uint16_t;
using DWORD = std::uint32_t;
using LONG = std::int32_t;
using UINT = unsigned int;
using INT = int;
using BOOL = int;
using LONGLONG = std::int64_t;
using ULONGLONG = std::uint64_t;
using SIZE_T = std::size_t;
using UINT_PTR = std::uintptr_t;
using INT_PTR = std::intptr_t;
using DWORD_PTR = std::uintptr_t;
using LPVOID = void*;
using LPCVOID = const void*;
using WCHAR = wchar_t;
using LPWSTR = wchar_t*;
using LPCWSTR = const wchar_t*;

#ifndef TRUE
#define TRUE 1
#define FALSE 0
#endif

struct ModuleResourceTable;
struct ModuleResourceEntry;

// A module handle names one module's table of compiled-in resources.
using HINSTANCE = const ModuleResourceTable*;
using HMODULE = HINSTANCE;
// A global-memory handle is the block's own address (blocks are always fixed).
using HGLOBAL = void*;
using HRSRC = const ModuleResourceEntry*;

// Resource names and types are either strings or small integers smuggled in a pointer.
#define MAKEINTRESOURCEW(id) (reinterpret_cast<LPCWSTR>(static_cast<UINT_PTR>(static_cast<WORD>(id))))
#define IS_INTRESOURCE(p) ((reinterpret_cast<UINT_PTR>(p) >> 16) == 0)
#define RT_BITMAP MAKEINTRESOURCEW(2)
#define RT_RCDATA MAKEINTRESOURCEW(10)

// What the runtime library exports; everything else in it stays hidden. The attribute is on every
// declaration, in the library and in its callers alike, so that the classes' type information is the one
// shared copy wherever a caller casts or catches.
#define KIV_RUNTIME_API __attribute__((visibility("default")))
