#include "platform.hpp"

#include <cerrno>

#include "cli.hpp"

#ifdef _WIN32
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <fcntl.h>
#include <io.h>
#include <windows.h>
// windows.h first: shellapi.h needs its types.
#include <shellapi.h>

#include <cstdlib>
#include <cwchar>
#else
#include <fcntl.h>

#include <csignal>
#endif

namespace quorent_cli::platform {

#ifdef _WIN32

namespace {

// UTF-16 to UTF-8; false for text that is not valid UTF-16 (a lone surrogate).
bool to_utf8(const wchar_t* wide, std::string& out) {
    const int wide_len = static_cast<int>(std::wcslen(wide));
    out.clear();
    if (wide_len == 0) return true;
    const int len = WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, wide_len, nullptr, 0, nullptr, nullptr);
    if (len <= 0) return false;
    out.resize(static_cast<std::size_t>(len));
    return WideCharToMultiByte(CP_UTF8, WC_ERR_INVALID_CHARS, wide, wide_len, out.data(), len, nullptr, nullptr) == len;
}

// UTF-8 to UTF-16; false for bytes that are not valid UTF-8.
bool to_wide(const std::string& text, std::wstring& out) {
    out.clear();
    if (text.empty()) return true;
    const int text_len = static_cast<int>(text.size());
    const int len = MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), text_len, nullptr, 0);
    if (len <= 0) return false;
    out.resize(static_cast<std::size_t>(len));
    return MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, text.data(), text_len, out.data(), len) == len;
}

UINT g_console_cp = 0;

}  // namespace

void init_standard_streams() {
    _setmode(_fileno(stdin), _O_BINARY);
    _setmode(_fileno(stdout), _O_BINARY);
    _setmode(_fileno(stderr), _O_BINARY);
    // A console shows the UTF-8 bytes as such while the tool runs; its code
    // page is put back on exit. (Pipes and files just take the bytes.)
    const auto is_console = [](DWORD which) { return GetFileType(GetStdHandle(which)) == FILE_TYPE_CHAR; };
    if (is_console(STD_OUTPUT_HANDLE) || is_console(STD_ERROR_HANDLE)) {
        g_console_cp = GetConsoleOutputCP();
        if (g_console_cp != 0 && g_console_cp != CP_UTF8 && SetConsoleOutputCP(CP_UTF8))
            std::atexit([] { SetConsoleOutputCP(g_console_cp); });
    }
}

void arguments(int, char**, std::vector<std::string>& words) {
    int count = 0;
    wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
    if (wide == nullptr) throw std::runtime_error("cannot read the command line");
    int invalid = 0;
    for (int i = 1; i < count && invalid == 0; ++i) {
        words.emplace_back();
        if (!to_utf8(wide[i], words.back())) invalid = i;
    }
    for (int i = 0; i < count; ++i) SecureZeroMemory(wide[i], std::wcslen(wide[i]) * sizeof(wchar_t));
    LocalFree(wide);
    if (invalid != 0) throw UsageError("argument " + std::to_string(invalid) + " is not valid Unicode (UTF-16)");
}

int open_for_reading(const std::string& path) {
    std::wstring wide;
    if (!to_wide(path, wide)) {
        errno = EILSEQ;
        return -1;
    }
    const int fd = _wopen(wide.c_str(), _O_RDONLY | _O_BINARY | _O_NOINHERIT);
    if (fd < 0 && errno == EACCES) {
        const DWORD attributes = GetFileAttributesW(wide.c_str());
        if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) errno = EISDIR;
    }
    return fd;
}

std::FILE* fopen_for_reading(const std::string& path) {
    std::wstring wide;
    if (!to_wide(path, wide)) {
        errno = EILSEQ;
        return nullptr;
    }
    return _wfopen(wide.c_str(), L"rbN");
}

#else

void init_standard_streams() { std::signal(SIGPIPE, SIG_IGN); }

void arguments(int argc, char** argv, std::vector<std::string>& words) {
    for (int i = 1; i < argc; ++i) words.emplace_back(argv[i]);
}

int open_for_reading(const std::string& path) { return ::open(path.c_str(), O_RDONLY | O_CLOEXEC); }

std::FILE* fopen_for_reading(const std::string& path) { return std::fopen(path.c_str(), "rb"); }

#endif

}  // namespace quorent_cli::platform
