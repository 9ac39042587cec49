// host/win32/kernel/base.cpp: the system's family, and the calls of final
// paths found at run time.
//
// State (the calls are found once, at the first question about final
// paths, so that the program still starts where one is missing):
//   looked_up        the two calls below have been looked for.
//   final_path_call  GetFinalPathNameByHandleW, or null (before Vista).
//   compare_ordinal  CompareStringOrdinal, or null (before Vista).
#include "host/win32/kernel/base.h"

using GetFinalPathFunction = DWORD(WINAPI*)(HANDLE, LPWSTR, DWORD, DWORD);
using CompareOrdinalFunction = int(WINAPI*)(LPCWCH, int, LPCWCH, int, BOOL);

static bool looked_up;
static GetFinalPathFunction final_path_call;
static CompareOrdinalFunction compare_ordinal;

bool is_nt_family()
{
    // The high bit of GetVersion is set on Windows 95, 98 and Me only.
    return (GetVersion() & 0x80000000u) == 0;
}

bool final_paths_known()
{
    if (!looked_up) {
        looked_up = true;
        const HMODULE kernel = GetModuleHandleA("kernel32.dll");
        final_path_call = find_call<GetFinalPathFunction>(kernel, "GetFinalPathNameByHandleW");
        compare_ordinal = find_call<CompareOrdinalFunction>(kernel, "CompareStringOrdinal");
    }
    return final_path_call != nullptr && compare_ordinal != nullptr;
}

bool works_through_handles()
{
    return is_nt_family() || final_paths_known();
}

bool get_final_path(HANDLE entry, wchar_t* out)
{
    const DWORD length = final_path_call(entry, out, ENTRY_PATH_SIZE, 0);
    return length > 0 && length < ENTRY_PATH_SIZE;
}

bool same_units_ignoring_case(const wchar_t* a, size_t a_length, const wchar_t* b, size_t b_length)
{
    return compare_ordinal(a, static_cast<int>(a_length), b, static_cast<int>(b_length), TRUE) == CSTR_EQUAL;
}
