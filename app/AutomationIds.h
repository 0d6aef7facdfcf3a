// The published identity of the automation class "MIRAVEL.Application":
// its CLSID, the IID of its dispatch interface and its ProgID. Fixed for
// good: clients and the registry entries of installed copies name them.
#pragma once

#include <windows.h>

// {0AB83C19-E54D-4D90-BE16-0D55ABF46564}
inline constexpr CLSID CLSID_MIRAVELApplication = {
    0x0ab83c19, 0xe54d, 0x4d90, {0xbe, 0x16, 0x0d, 0x55, 0xab, 0xf4, 0x65, 0x64}};

// {4525B3E4-9510-458C-A71D-7CEDF0409833}
inline constexpr IID IID_IMIRAVEL = {
    0x4525b3e4, 0x9510, 0x458c, {0xa7, 0x1d, 0x7c, 0xed, 0xf0, 0x40, 0x98, 0x33}};

inline constexpr wchar_t kMIRAVELProgID[] = L"MIRAVEL.Application";
