#pragma once

#include <cstddef>
#include <string>

// Profile (INI) files in the Windows manner: "[Section]" headers and
// "Key=Value" lines, sections and keys matched without regard to ASCII case,
// the first match winning. Strings are UTF-8.
namespace kyplatform {

// The value of `key` in `section` of the file at `path`, read the way the
// narrow-character profile reader does with a buffer of `bufferSize` bytes:
// blanks around the value and one pair of enclosing quotes are removed, and
// at most bufferSize - 1 bytes are returned (never cutting a UTF-8 sequence in
// half). `defaultValue` (without its trailing blanks) when the file, the
// section or the key is missing.
std::string readProfileString(const std::string &path, const std::string &section, const std::string &key,
                              const std::string &defaultValue, std::size_t bufferSize = 512);

// Sets `key` = `value` in `section` of the file at `path`. A missing file,
// section or key is created; every other section, key and comment stays. False,
// with the file untouched, when its folder does not exist, the file cannot be
// read or written, or the section, key or value cannot be kept on one INI
// line.
//
// On Windows these are the system's profile functions: the narrow reader
// (its text converted from the ANSI code page) and the wide writer, which
// may rewrite the spacing of other lines. Elsewhere every other line stays
// byte for byte, and the file is replaced as a whole (written beside it, then
// renamed), so it is never left half written.
bool writeProfileString(const std::string &path, const std::string &section, const std::string &key,
                        const std::string &value);

// The editor's rules on text, without file access; used by the backends and
// by readers of other programs' INI files.

// Section and key names count without blanks around them.

// Finds `key` in `section` of INI `text`; `value` receives the text after the
// first "=", blanks around it removed. False when there is no such key.
bool findIniValue(const std::string &text, const std::string &section, const std::string &key, std::string &value);

// `text` with `key` = `value` set in `section`: an existing key line is
// rewritten in place, a missing key goes after the section's last key (or its
// header), a missing section is appended. New lines end the way the text's first
// line does ("\r\n" for a text without any line end).
std::string setIniValue(const std::string &text, const std::string &section, const std::string &key,
                        const std::string &value);

// Whether section, key and value can be written as INI lines that read back
// the same: no line breaks, no "]" in the section, a non-empty key without "="
// that does not start like a header or a comment.
bool isStorableIniEntry(const std::string &section, const std::string &key, const std::string &value);

// The value as the profile reader hands it out: enclosing quotes removed and
// cut to bufferSize - 1 bytes at a UTF-8 character boundary.
std::string profileReaderValue(const std::string &value, std::size_t bufferSize);

} // namespace kyplatform
