#!/usr/bin/env bash
# Prepares the Windows cross build: installs the mingw-w64 toolchain, Wine and the GStreamer
# plugins Wine plays video with from apt, then builds the third-party libraries the Windows
# program links (SQLite, GLFW, Dear ImGui with its GLFW/OpenGL3 backends, GoogleTest) from
# Debian's own sources into build/windows-deps/, or copies them from the cache below.
# Header-only libraries (nlohmann-json, Boost) are linked in from the Linux -dev packages.
# Safe to run again: every finished piece leaves a stamp and is skipped the next time.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
deps=$root/build/windows-deps
src=$deps/src
prefix=$deps/prefix
mkdir -p "$src" "$prefix/include" "$prefix/lib"

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then sudo_cmd=(sudo); fi
export DEBIAN_FRONTEND=noninteractive

packages=(g++-mingw-w64-x86-64-posix mingw-w64-tools binutils-mingw-w64-x86-64 wine wine64 dpkg-dev
          libgtest-dev nlohmann-json3-dev libboost-dev libstb-dev xvfb xauth xdotool zip unzip
          # Wine's Media Foundation decodes the intro (MP4, H.264) through these.
          gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
          gstreamer1.0-libav)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "windows-deps: installing ${missing[*]}"
    "${sudo_cmd[@]}" apt-get update -qq
    "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# Source packages need a deb-src entry; add one beside the binary entries, once.
src_list=/etc/apt/sources.list.d/ostrel-src.sources
if [ ! -f "$src_list" ]; then
    echo "windows-deps: adding deb-src entries ($src_list)"
    printf '%s\n' 'Types: deb-src' 'URIs: http://deb.debian.org/debian' \
        'Suites: bookworm bookworm-updates' 'Components: main' \
        'Signed-By: /usr/share/keyrings/debian-archive-keyring.gpg' |
        "${sudo_cmd[@]}" tee "$src_list" >/dev/null
    "${sudo_cmd[@]}" apt-get update -qq
fi

# The built libraries are kept once per machine outside the checkout, keyed by the versions
# they are built from (toolchain, sources, this script), so a fresh clone only copies them in.
# OSTREL_WINDOWS_DEPS_CACHE moves the cache; an empty value turns it off.
cache_root=${OSTREL_WINDOWS_DEPS_CACHE-${XDG_CACHE_HOME:-$HOME/.cache}/ostrel-windows-deps}
cache=
if [ -n "$cache_root" ]; then
    key=$( {
        dpkg-query -W -f='${Package} ${Version}\n' g++-mingw-w64-x86-64-posix libgtest-dev
        apt-cache showsrc sqlite3 glfw3 imgui 2>/dev/null | grep -E '^(Package|Version):'
        cat "$0"
    } | sha256sum | cut -c1-16)
    cache=$cache_root/$key
fi
pieces=(sqlite gtest glfw imgui)
have_all() { for p in "${pieces[@]}"; do [ -f "$1/$p.stamp" ] || return 1; done; }
if [ -n "$cache" ] && ! have_all "$deps" && have_all "$cache"; then
    echo "windows-deps: reusing the libraries in $cache"
    rm -rf "$prefix"
    cp -a "$cache/prefix" "$prefix"
    for p in "${pieces[@]}"; do touch "$deps/$p.stamp"; done
fi

CC=x86_64-w64-mingw32-gcc-posix
CXX=x86_64-w64-mingw32-g++-posix
AR=x86_64-w64-mingw32-ar
jobs=${OSTREL_JOBS:-2}

fetch() { # fetch <source package> -> prints the unpacked folder
    local pkg=$1
    local dir
    dir=$(find "$src" -maxdepth 1 -type d -name "${pkg}-*" | head -n1)
    if [ -z "$dir" ]; then
        (cd "$src" && apt-get source -qq "$pkg" >/dev/null 2>&1)
        dir=$(find "$src" -maxdepth 1 -type d -name "${pkg}-*" | head -n1)
    fi
    echo "$dir"
}

# Header-only libraries: the same versions as the Linux build.
ln -sfn /usr/include/nlohmann "$prefix/include/nlohmann"
ln -sfn /usr/include/boost "$prefix/include/boost"
ln -sfn /usr/include/stb "$prefix/include/stb"

if [ ! -f "$deps/sqlite.stamp" ]; then
    echo "windows-deps: SQLite"
    dir=$(fetch sqlite3)
    work=$deps/sqlite-build
    mkdir -p "$work"
    if [ ! -f "$dir/sqlite3.c" ]; then
        (cd "$work" && "$dir/configure" --quiet >/dev/null && make -s sqlite3.c >/dev/null)
        amalg=$work
    else
        amalg=$dir
    fi
    $CC -O2 -DSQLITE_THREADSAFE=1 -DSQLITE_OMIT_LOAD_EXTENSION -c "$amalg/sqlite3.c" -o "$work/sqlite3.o"
    $AR rcs "$prefix/lib/libsqlite3.a" "$work/sqlite3.o"
    cp "$amalg/sqlite3.h" "$prefix/include/"
    touch "$deps/sqlite.stamp"
fi

if [ ! -f "$deps/gtest.stamp" ]; then
    echo "windows-deps: GoogleTest"
    cmake -S /usr/src/googletest -B "$deps/gtest-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -Dgtest_disable_pthreads=OFF >/dev/null
    cmake --build "$deps/gtest-build" -j "$jobs" >/dev/null
    cmake --install "$deps/gtest-build" >/dev/null
    touch "$deps/gtest.stamp"
fi

if [ ! -f "$deps/glfw.stamp" ]; then
    echo "windows-deps: GLFW"
    dir=$(fetch glfw3)
    cmake -S "$dir" -B "$deps/glfw-build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-w64.cmake" -DCMAKE_INSTALL_PREFIX="$prefix" \
        -DGLFW_BUILD_EXAMPLES=OFF -DGLFW_BUILD_TESTS=OFF -DGLFW_BUILD_DOCS=OFF \
        -DBUILD_SHARED_LIBS=OFF >/dev/null
    cmake --build "$deps/glfw-build" -j "$jobs" >/dev/null
    cmake --install "$deps/glfw-build" >/dev/null
    touch "$deps/glfw.stamp"
fi

if [ ! -f "$deps/imgui.stamp" ]; then
    echo "windows-deps: Dear ImGui"
    dir=$(fetch imgui)
    work=$deps/imgui-build
    mkdir -p "$work" "$prefix/include/imgui/backends"
    objs=()
    for f in imgui imgui_draw imgui_tables imgui_widgets backends/imgui_impl_glfw backends/imgui_impl_opengl3; do
        [ -f "$dir/$f.cpp" ] || continue
        o=$work/$(basename "$f").o
        $CXX -O2 -std=c++17 -I"$dir" -I"$prefix/include" -c "$dir/$f.cpp" -o "$o"
        objs+=("$o")
    done
    $AR rcs "$prefix/lib/libimgui.a" "${objs[@]}"
    cp "$dir"/*.h "$prefix/include/imgui/"
    # Both spellings the code may use: <imgui_impl_glfw.h> and <backends/imgui_impl_glfw.h>.
    for h in "$dir"/backends/imgui_impl_glfw.h "$dir"/backends/imgui_impl_opengl3*.h; do
        cp "$h" "$prefix/include/imgui/"
        cp "$h" "$prefix/include/imgui/backends/"
    done
    touch "$deps/imgui.stamp"
fi

if [ -n "$cache" ] && ! have_all "$cache"; then
    mkdir -p "$cache_root"
    scratch=$(mktemp -d "$cache_root/.new-XXXXXX")
    cp -a "$prefix" "$scratch/prefix"
    for p in "${pieces[@]}"; do touch "$scratch/$p.stamp"; done
    rm -rf "$cache"
    mv "$scratch" "$cache"
    echo "windows-deps: kept the libraries in $cache"
fi

echo "windows-deps: ready in $prefix"
