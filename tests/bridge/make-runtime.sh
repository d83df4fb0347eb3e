#!/usr/bin/env bash
# Makes out/jre32, a Java runtime in Windows layout whose bin\client\jvm.dll (and bin\server\jvm.dll)
# runs Debian's 32-bit HotSpot inside the Wine process, and whose bin\java.exe answers "-version"
# with that runtime's real version output. For tests and demos only; the launcher never ships it.
#
#   make-runtime.sh setup   install the Debian packages and fetch the Linux runtime (root or sudo)
#   make-runtime.sh build   build the bridge and java.exe and lay out out/jre32 (the default)
#
# The Linux runtime is unpacked, not installed: installing the i386 package would replace the
# machine's own JDK as the default java.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
HERE=$ROOT/tests/bridge
CACHE=$ROOT/out/bridge
LINUX_ROOT=$CACHE/linux
LINUX_HOME=$LINUX_ROOT/usr/lib/jvm/java-17-openjdk-i386
RUNTIME=$ROOT/out/jre32
JNI_INCLUDE=/usr/lib/jvm/java-17-openjdk-amd64/include
RUNTIME_PACKAGE=openjdk-17-jre-headless:i386
SUDO=""
[ "$(id -u)" = 0 ] || SUDO="sudo"

# winegcc for 32-bit Winelib code, its C++ library, and the machine's JDK for jni.h and javac.
# wine64-tools must stay out: it replaces wine32-tools:i386.
PACKAGES=(wine32-tools:i386 libwine-dev:i386 gcc-multilib g++-multilib libstdc++6:i386 zlib1g:i386
  openjdk-17-jdk-headless)

install_packages() {
  local missing=()
  for p in "${PACKAGES[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
  done
  [ ${#missing[@]} -gt 0 ] || return 0
  echo "bridge: installing ${missing[*]}"
  $SUDO apt-get -o DPkg::Lock::Timeout=900 update -qq || true
  DEBIAN_FRONTEND=noninteractive $SUDO apt-get -o DPkg::Lock::Timeout=900 install -y -qq \
    --no-install-recommends "${missing[@]}" >/dev/null
}

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

build_runtime() {
  [ -f "$CACHE/runtime.stamp" ] || fetch_runtime
  local build=$CACHE/build
  mkdir -p "$build" "$RUNTIME/bin"
  # Every function of the JNI table, in table order, from the header we compile against.
  awk '/^struct JNINativeInterface_ \{/,/^\};/' "$JNI_INCLUDE/jni.h" |
    grep -oP '\(JNICALL \*\K\w+(?=\))' | sed 's/.*/JNI_FUNCTION(&)/' >"$build/jni_functions.inc.new"
  mv "$build/jni_functions.inc.new" "$build/jni_functions.inc"
  wineg++ -m32 -shared -std=c++20 -O2 -Wall -Wextra -Wno-unused-parameter \
    -I"$JNI_INCLUDE" -I"$JNI_INCLUDE/linux" -I"$build" \
    "$HERE/jvm_bridge.cpp" "$HERE/jvm_bridge.spec" -o "$build/jvm.dll" -ldl
  i686-w64-mingw32-g++-posix -std=c++20 -O2 -Wall -static -s "$HERE/java_exe.cpp" -o "$build/java.exe"

  for kind in client server; do
    mkdir -p "$RUNTIME/bin/$kind"
    cp "$build/jvm.dll.so" "$RUNTIME/bin/$kind/jvm.dll"
    echo "$LINUX_HOME/lib/$kind/libjvm.so" >"$RUNTIME/bin/$kind/libjvm.path"
  done
  cp "$build/java.exe" "$RUNTIME/bin/java.exe"
  cp "$build/java.exe" "$RUNTIME/bin/javaw.exe"
  # What the client VM, the one a Windows launcher tries first, says about itself.
  "$LINUX_HOME/bin/java" -XXaltjvm="$LINUX_HOME/lib/client" -version 2>"$RUNTIME/bin/java-version.txt"
  echo "bridge: runtime ready in $RUNTIME"
}

case "${1:-build}" in
  setup) install_packages; fetch_runtime ;;
  build) build_runtime ;;
  *) echo "usage: make-runtime.sh setup|build" >&2; exit 2 ;;
esac
