#!/usr/bin/env bash
# Makes Java runtimes in Windows layout whose jvm.dll runs a Debian HotSpot inside the Wine process,
# and whose bin\java.exe (the tests' java double) answers "-version" with that runtime's real version
# output:
#   out/jre32  bin\client\jvm.dll and bin\server\jvm.dll over the i386 runtime (unpacked here)
#   out/jre64  bin\server\jvm.dll over the machine's own amd64 runtime
# For tests and demos only; the launcher never ships them.
#
#   make-runtime.sh setup           fetch the i386 runtime (where the machine runs 32-bit programs)
#   make-runtime.sh build [32|64]   build the bridge and java.exe and lay out the runtime (default: both)
#
# The Debian packages it needs are installed by ./run setup, by what the machine can run: wineg++ from
# wine32-tools:i386 (which builds 64-bit Winelib code too) or, where only 64-bit programs run, from
# wine64-tools. "build" runs from the build, which names the machine's JDK in BROLT_JDK_HOME: the
# bridge is built against its headers, and its HotSpot is the 64-bit runtime.
#
# The i386 runtime is unpacked, not installed: installing the i386 package would replace the
# machine's own JDK as the default java.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$ROOT/tests/bridge
CACHE=$ROOT/out/bridge
LINUX_ROOT=$CACHE/linux
LINUX_HOME=$LINUX_ROOT/usr/lib/jvm/java-17-openjdk-i386
RUNTIME_PACKAGE=openjdk-17-jre-headless:i386
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

# The package's links into /etc/java-17-openjdk (jvm.cfg, conf/*) are pointed at the unpacked copy.
relink_configuration() {
  local link target
  while IFS= read -r link; do
    target=$(readlink "$link")
    case "$target" in
      /etc/*) ln -sfn "$LINUX_ROOT$target" "$link" ;;
    esac
  done < <(find "$LINUX_HOME" -type l)
}

fetch_runtime() {
  [ -f "$CACHE/runtime.stamp" ] && [ -f "$LINUX_HOME/lib/client/libjvm.so" ] && return 0
  mkdir -p "$CACHE/debs"
  rm -rf "$LINUX_ROOT" "$CACHE/debs"/*.deb
  # A package list older than the archive names a version that is gone: refresh it once and retry.
  (cd "$CACHE/debs" && { apt-get download -qq "$RUNTIME_PACKAGE" 2>/dev/null ||
    { $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq && apt-get download -qq "$RUNTIME_PACKAGE"; }; })
  local deb
  deb=$(ls "$CACHE/debs"/openjdk-17-jre-headless_*_i386.deb)
  dpkg -x "$deb" "$LINUX_ROOT"
  relink_configuration
  # The client VM comes without a class-data archive; one saves a good part of every VM start.
  "$LINUX_HOME/bin/java" -XXaltjvm="$LINUX_HOME/lib/client" -Xshare:dump >/dev/null
  basename "$deb" >"$CACHE/runtime.stamp"
}

# What differs by word size: compiler flags, the Linux runtime, its VM kinds, the Windows compiler.
# The first kind is the one a Windows launcher tries first; java.exe reports what that VM says.
configure_word_size() {
  case "$1" in
    32) BITS=32 WINELIB_MACHINE=-m32 WINDOWS_CXX=i686-w64-mingw32-g++-posix
        RUNTIME_HOME=$LINUX_HOME VM_KINDS=(client server) ;;
    64) BITS=64 WINELIB_MACHINE=-m64 WINDOWS_CXX=x86_64-w64-mingw32-g++-posix
        RUNTIME_HOME=$MACHINE_JAVA_HOME VM_KINDS=(server) ;;
    *) echo "make-runtime.sh: word size must be 32 or 64, not $1" >&2; exit 2 ;;
  esac
  RUNTIME=$ROOT/out/jre$BITS
}

build_runtime() {
  : "${BROLT_JDK_HOME:?make-runtime.sh build: BROLT_JDK_HOME must name the JDK (the build sets it)}"
  MACHINE_JAVA_HOME=$BROLT_JDK_HOME
  JNI_INCLUDE=$MACHINE_JAVA_HOME/include
  configure_word_size "$1"
  [ "$BITS" != 32 ] || [ -f "$CACHE/runtime.stamp" ] || fetch_runtime
  local build=$CACHE/build$BITS
  mkdir -p "$build" "$RUNTIME/bin"
  # Every function of the JNI table, in table order, from the header we compile against.
  awk '/^struct JNINativeInterface_ \{/,/^\};/' "$JNI_INCLUDE/jni.h" |
    grep -oP '\(JNICALL \*\K\w+(?=\))' | sed 's/.*/JNI_FUNCTION(&)/' >"$build/jni_functions.inc.new"
  mv "$build/jni_functions.inc.new" "$build/jni_functions.inc"
  # The exports file goes straight to the Winelib builder (-E), whatever its name.
  wineg++ "$WINELIB_MACHINE" -shared -std=c++20 -O2 -Wall -Wextra -Wno-unused-parameter \
    -I"$JNI_INCLUDE" -I"$JNI_INCLUDE/linux" -I"$build" \
    "$HERE/jvm_bridge.cpp" -Wb,-E,"$HERE/jvm_bridge.exports" -o "$build/jvm.dll" -ldl
  # java.exe is the tests' java double, told to answer as this runtime's own java does.
  "$WINDOWS_CXX" -std=c++20 -O2 -Wall -static -s "$ROOT/tests/doubles/java_double.cpp" -o "$build/java.exe"

  for kind in "${VM_KINDS[@]}"; do
    mkdir -p "$RUNTIME/bin/$kind"
    cp "$build/jvm.dll.so" "$RUNTIME/bin/$kind/jvm.dll"
    echo "$RUNTIME_HOME/lib/$kind/libjvm.so" >"$RUNTIME/bin/$kind/libjvm.path"
  done
  cp "$build/java.exe" "$RUNTIME/bin/java.exe"
  cp "$build/java.exe" "$RUNTIME/bin/javaw.exe"
  # The double's instructions: end with 0, after the real version output on standard error.
  { echo 0; "$RUNTIME_HOME/bin/java" -XXaltjvm="$RUNTIME_HOME/lib/${VM_KINDS[0]}" -version 2>&1 >/dev/null; } \
    >"$RUNTIME/bin/java-double.txt"
  rm -f "$RUNTIME/bin/java-version.txt"
  echo "bridge: runtime ready in $RUNTIME"
}

case "${1:-build}" in
  setup) fetch_runtime ;;
  build)
    if [ $# -gt 1 ]; then
      build_runtime "$2"
    else
      build_runtime 32
      build_runtime 64
    fi
    ;;
  *) echo "usage: make-runtime.sh setup|build [32|64]" >&2; exit 2 ;;
esac
