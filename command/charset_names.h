// Which Windows code page a MIME charset name stands for. Mail names a
// charset many ways ("ISO-8859-1", "iso_8859-1:1987", "latin1", "cp1252",
// "x-sjis"), so names are matched loosely: case, and every character that
// is not a letter or a digit, are ignored (Unicode TR 22's charset alias
// matching), and ISO 8859 names are read part by part. Pure; the Win32 host
// hands the code page to MultiByteToWideChar.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string_view>

// Code pages MultiByteToWideChar does not convert; the host reads these
// itself. "UTF-16" names 1201 (big-endian, RFC 2781's rule without a byte
// order mark); a mark in the text wins over either.
constexpr uint32_t kCodePageUtf16Le = 1200;
constexpr uint32_t kCodePageUtf16Be = 1201;
constexpr uint32_t kCodePageUtf8 = 65001;

// The code page of `charset`, nullopt for a name Windows has no code page
// for (ISO-8859-10, -14, -16, UTF-32, unknown or malformed names).
std::optional<uint32_t> CodePageOfCharset(std::string_view charset);

// Whether every byte is below 0x80.
bool IsAscii(std::string_view bytes);

// Whether the bytes are well-formed UTF-8 (shortest forms, no surrogates,
// nothing past U+10FFFF); ASCII is.
bool IsUtf8(std::string_view bytes);
