// Durable line appends on Windows: write at the end, FlushFileBuffers, SetEndOfFile back on
// failure.
#include <windows.h>

#include <string>

#include "platform/durable_append.hpp"

namespace ostrel::platform {
namespace {

std::unexpected<std::string> failure(DWORD error) {
    char text[256] = {};
    const DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                   nullptr, error, 0, text, sizeof(text), nullptr);
    std::string message(text, n);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == '.' || message.back() == ' '))
        message.pop_back();
    if (message.empty()) message = "system error " + std::to_string(error);
    return std::unexpected(message);
}

}  // namespace

std::expected<void, std::string> append_line_durably(const std::string& path,
                                                     std::string_view line) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                              OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return failure(GetLastError());
    LARGE_INTEGER size{};
    if (!GetFileSizeEx(file, &size)) {
        const DWORD error = GetLastError();
        CloseHandle(file);
        return failure(error);
    }
    std::string text;
    if (size.QuadPart > 0) {
        LARGE_INTEGER last{};
        last.QuadPart = size.QuadPart - 1;
        char byte = '\n';
        DWORD got = 0;
        if (SetFilePointerEx(file, last, nullptr, FILE_BEGIN) &&
            ReadFile(file, &byte, 1, &got, nullptr) && got == 1 && byte != '\n')
            text.push_back('\n');
    }
    text.append(line);
    text.push_back('\n');
    bool ok = SetFilePointerEx(file, size, nullptr, FILE_BEGIN) != 0;
    std::size_t done = 0;
    while (ok && done < text.size()) {
        DWORD n = 0;
        ok = WriteFile(file, text.data() + done, static_cast<DWORD>(text.size() - done), &n,
                       nullptr) != 0 &&
             n > 0;
        done += n;
    }
    ok = ok && FlushFileBuffers(file) != 0;
    if (!ok) {
        const DWORD error = GetLastError();
        // Cut a half-written line back off: the next append then starts where this one did.
        SetFilePointerEx(file, size, nullptr, FILE_BEGIN);
        SetEndOfFile(file);
        CloseHandle(file);
        return failure(error);
    }
    if (!CloseHandle(file)) return failure(GetLastError());
    return {};
}

}  // namespace ostrel::platform
