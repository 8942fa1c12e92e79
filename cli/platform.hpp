#pragma once
// Where the tool meets the operating system. On Linux these are the plain
// POSIX calls; on Windows every text stays UTF-8: the command line is taken
// in UTF-16 and converted, file names are converted back to open files, and
// the standard streams carry bytes untranslated (no code page, no CRLF), so
// that the tool reads and prints the same bytes on both.
#include <cstdio>
#include <string>
#include <vector>

namespace quorent_cli::platform {

// Once, first thing in main: standard streams in binary mode (Windows), a
// closed pipe reported as a failed write rather than a signal (Linux).
void init_standard_streams();

// Appends the command line's words after the program name, in UTF-8, to
// words. On Windows they come from the UTF-16 command line, not from argv
// (which main receives in the ANSI code page); a word that is not valid
// UTF-16 throws UsageError.
void arguments(int argc, char** argv, std::vector<std::string>& words);

// Opens a file named in UTF-8 for reading: a descriptor, or -1 with errno
// set (EISDIR for a directory on Windows, which refuses to open one).
int open_for_reading(const std::string& path);

// The same as a stdio stream ("rb"), or nullptr with errno set.
std::FILE* fopen_for_reading(const std::string& path);

}  // namespace quorent_cli::platform
