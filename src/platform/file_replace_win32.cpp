// Crash-safe file replacement on Windows: a new file beside the target, FlushFileBuffers, then
// MoveFileExA with replace and write-through (a plain rename refuses an existing target).
#include <windows.h>

#include <string>

#include "platform/file_replace.hpp"

namespace ostrel::platform {

ReplaceOutcome replace_file(const std::string& path, const std::string& text) {
    const std::string temp = path + ".tmp" + std::to_string(GetCurrentProcessId()) + "-" +
                             std::to_string(GetTickCount64());
    // Not shared while open; the new file inherits the folder's access list (the user's own
    // data folder or the program's folder).
    HANDLE file = CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return ReplaceOutcome::not_started;
    bool written = true;
    std::size_t done = 0;
    while (written && done < text.size()) {
        DWORD n = 0;
        const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
        written = WriteFile(file, text.data() + done, chunk, &n, nullptr) != 0 && n > 0;
        done += n;
    }
    written = written && FlushFileBuffers(file) != 0;
    const bool closed = CloseHandle(file) != 0;
    if (!written || !closed ||
        !MoveFileExA(temp.c_str(), path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
        DeleteFileA(temp.c_str());
        return ReplaceOutcome::not_finished;
    }
    return ReplaceOutcome::done;
}

}  // namespace ostrel::platform
