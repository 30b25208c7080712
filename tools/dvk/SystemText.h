// Where dvk's text meets the system: arguments, console output and the
// narrow paths that the package reader and the engine take.
//
// Inside the tool every text is UTF-8; package text is cp1252 and converted
// with CodePage1252.h at the point of use.
// - Linux: the locale's encoding is taken to be UTF-8, so arguments, file
//   names and output pass unchanged.
// - Windows: arguments are taken from the UTF-16 command line, file names
//   through std::filesystem's wide paths, and text is written to a console as
//   UTF-16 (redirected output stays UTF-8). The reader and the engine take
//   ANSI paths, which for the package's own names are cp1252 already.
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

// The command line's arguments after the program name, in UTF-8.
std::vector<std::string> Utf8Arguments(int argc, char** argv);

// Writes UTF-8 text as the console expects it.
void WriteText(std::FILE* stream, const std::string& utf8);
bool IsTerminal(std::FILE* stream);

// A path for the file system from UTF-8, and back.
std::filesystem::path PathFromUtf8(const std::string& utf8);
std::string PathToUtf8(const std::filesystem::path& path);

// The byte-string path that the reader and the engine open files with: the
// UTF-8 text itself on Linux, the ANSI code page on Windows. False when the
// path has a character the ANSI code page cannot hold.
[[nodiscard]] bool NarrowSystemPath(const std::string& utf8, std::string& narrow);
// The UTF-8 text of such a path, to show it.
std::string Utf8FromNarrowSystemPath(const std::string& narrow);
