// Process entry point.
#include "app/entry.hpp"

#ifdef _WIN32
#include <windows.h>

#include <cstdio>
#include <cstdlib>

// The Windows program is a GUI program (no console window of its own). Started from a
// console, its command-line modes still print there: attach to the parent's console when no
// output handle was handed down.
int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) {
    if (::GetStdHandle(STD_OUTPUT_HANDLE) == nullptr && ::AttachConsole(ATTACH_PARENT_PROCESS)) {
        std::freopen("CONOUT$", "w", stdout);
        std::freopen("CONOUT$", "w", stderr);
    }
    return ostrel::run_app(__argc, __argv);
}
#else
int main(int argc, char** argv) {
    return ostrel::run_app(argc, argv);
}
#endif
