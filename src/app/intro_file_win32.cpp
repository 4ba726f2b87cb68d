// Writing the intro clip resource under the temporary folder, or finding a copy beside the
// program.
#ifdef _WIN32
#include "app/intro_file_win32.hpp"

#include <windows.h>

#include "app/intro_clip.hpp"

namespace ostrel {
namespace {

constexpr std::size_t kMaxPath = 260;
constexpr std::size_t kMaxTempFolder = 236;  // leaves room for "Ostrel\Ostrelintro.mp4"
constexpr const wchar_t* kFileName = L"Ostrelintro.mp4";

bool exists(const std::wstring& path) {
    return ::GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

/// The file's size, or nothing when it cannot be opened.
std::optional<std::uint64_t> size_of(const std::wstring& path) {
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
    return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void write_clip(const std::wstring& path, std::span<const std::uint8_t> clip) {
    HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return;
    std::size_t done = 0;
    while (done < clip.size()) {
        const std::size_t left = clip.size() - done;
        const DWORD wanted = left > 0x40000000 ? 0x40000000 : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!::WriteFile(file, clip.data() + done, wanted, &written, nullptr) || written == 0)
            break;
        done += written;
    }
    ::CloseHandle(file);
}

std::optional<std::wstring> beside_program(const std::wstring& module_path) {
    if (module_path.empty() || module_path.size() >= kMaxPath) return std::nullopt;
    const std::size_t cut = module_path.find_last_of(L"\\/");
    const std::wstring folder =
        cut == std::wstring::npos ? std::wstring() : module_path.substr(0, cut + 1);
    const std::wstring file = folder + kFileName;
    if (file.size() >= kMaxPath || !exists(file)) return std::nullopt;
    return file;
}

}  // namespace

std::optional<std::wstring> extract_intro_file(std::span<const std::uint8_t> clip,
                                               const std::wstring& temp_dir,
                                               const std::wstring& module_path) {
    if (!clip.empty() && !temp_dir.empty() && temp_dir.size() < kMaxTempFolder) {
        std::wstring folder = temp_dir;
        if (folder.back() != L'\\' && folder.back() != L'/') folder.push_back(L'\\');
        folder += L"Ostrel\\";
        ::CreateDirectoryW(folder.c_str(), nullptr);
        const std::wstring file = folder + kFileName;
        const std::optional<std::uint64_t> size = size_of(file);
        if (!size || *size != clip.size()) write_clip(file, clip);
        if (exists(file) && file.size() < kMaxPath) return file;
    }
    return beside_program(module_path);
}

std::optional<std::wstring> extract_intro_video() {
    wchar_t temp[kMaxPath + 1] = {};
    const DWORD temp_length = ::GetTempPathW(kMaxPath + 1, temp);
    wchar_t module[kMaxPath] = {};
    const DWORD module_length = ::GetModuleFileNameW(nullptr, module, kMaxPath);
    // A truncated module path fills the whole buffer: treat it as too long.
    const std::wstring module_path(module, module_length < kMaxPath ? module_length : 0);
    const std::wstring temp_dir(temp, temp_length <= kMaxPath ? temp_length : 0);
    return extract_intro_file(embedded_intro_clip(), temp_dir, module_path);
}

}  // namespace ostrel
#endif
