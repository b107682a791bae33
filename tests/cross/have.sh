#!/usr/bin/env bash
# Exit 0 when the tools of a cross build are on this machine; otherwise print
# what is missing (and which Debian package brings it) and exit 1.
set -u
case "${1:-}" in
linux32)
    # The multilib compiler must link a 32-bit program, and the machine must
    # be able to run it: natively, or through qemu-i386 registered with
    # binfmt_misc where the kernel has no 32-bit support (.ci/run does that).
    probe=$(mktemp -d)
    trap 'rm -rf "$probe"' EXIT
    echo 'int main() { return 0; }' > "$probe/p.cpp"
    if ! g++ -m32 "$probe/p.cpp" -o "$probe/p" 2>/dev/null; then
        echo "skipping linux32: g++ -m32 cannot link (Debian package g++-multilib)"
        exit 1
    fi
    if ! "$probe/p" 2>/dev/null; then
        echo "skipping linux32 tests: this machine cannot run 32-bit programs" \
             "(no 32-bit support in the kernel; register qemu-i386 from Debian's qemu-user with binfmt_misc)"
        exit 1
    fi
    ;;
win32)
    for tool in i686-w64-mingw32-g++ x86_64-w64-mingw32-g++; do
        command -v "$tool" >/dev/null 2>&1 || { echo "skipping win32: no $tool (Debian package mingw-w64)"; exit 1; }
    done
    command -v wine >/dev/null 2>&1 || { echo "skipping win32 tests: no wine (Debian packages wine, wine64, wine32:i386)"; exit 1; }
    ;;
clang)
    command -v clang++ >/dev/null 2>&1 || { echo "skipping clang: no clang++ (Debian package clang)"; exit 1; }
    ;;
lint)
    for tool in clang-format clang-tidy clang++; do
        command -v "$tool" >/dev/null 2>&1 || { echo "skipping lint: no $tool (Debian packages clang-format, clang-tidy, clang)"; exit 1; }
    done
    ;;
*)
    echo "usage: have.sh linux32|win32|clang|lint" >&2
    exit 2
    ;;
esac
exit 0
