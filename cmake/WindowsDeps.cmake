# The Windows build's third-party libraries, built by tools/windows-deps.sh into
# build/windows-deps/prefix. They get the same target names the Linux build finds through
# pkg-config and CMake packages, so the module graph in src/ reads the same on both.

set(prefix "${OSTREL_WINDOWS_PREFIX}")
if(NOT EXISTS "${prefix}/lib/libsqlite3.a")
    message(FATAL_ERROR "Windows libraries missing: run tools/windows-deps.sh first")
endif()

add_library(nlohmann_json::nlohmann_json INTERFACE IMPORTED)
set_target_properties(nlohmann_json::nlohmann_json PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include")

add_library(Boost::headers INTERFACE IMPORTED)
set_target_properties(Boost::headers PROPERTIES
    INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include"
    INTERFACE_COMPILE_DEFINITIONS "_WIN32_WINNT=0x0A00;BOOST_ALL_NO_LIB"
    INTERFACE_LINK_LIBRARIES "ws2_32;mswsock")

add_library(PkgConfig::SQLITE3 STATIC IMPORTED)
set_target_properties(PkgConfig::SQLITE3 PROPERTIES
    IMPORTED_LOCATION "${prefix}/lib/libsqlite3.a"
    INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include")

# WinHTTP for REST and the quote stream, the shell for opening web pages, Media Foundation
# (its player) for the intro clip.
add_library(ostrel_windows_system INTERFACE)
target_link_libraries(ostrel_windows_system INTERFACE winhttp ws2_32 shell32 ole32 uuid mfplay
                      mfplat mfreadwrite mfuuid)

if(OSTREL_BUILD_GUI)
    add_library(PkgConfig::GLFW3 STATIC IMPORTED)
    set_target_properties(PkgConfig::GLFW3 PROPERTIES
        IMPORTED_LOCATION "${prefix}/lib/libglfw3.a"
        INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include"
        INTERFACE_LINK_LIBRARIES "gdi32;user32;opengl32")
    add_library(PkgConfig::IMGUI STATIC IMPORTED)
    set_target_properties(PkgConfig::IMGUI PROPERTIES
        IMPORTED_LOCATION "${prefix}/lib/libimgui.a"
        INTERFACE_INCLUDE_DIRECTORIES "${prefix}/include/imgui"
        INTERFACE_LINK_LIBRARIES "PkgConfig::GLFW3;opengl32")
    add_library(OpenGL::GL INTERFACE IMPORTED)
    set_target_properties(OpenGL::GL PROPERTIES INTERFACE_LINK_LIBRARIES opengl32)
endif()

list(APPEND CMAKE_PREFIX_PATH "${prefix}")
# The programs sit together at the top of the build folder, as they will in the package.
set(CMAKE_RUNTIME_OUTPUT_DIRECTORY "${CMAKE_BINARY_DIR}")
