#!/usr/bin/env bash
# Installs the build in BUILD_DIR into a temporary prefix, then builds the
# consumer program against it twice, with find_package and with pkg-config,
# and runs both against the installed component library.
#   run_consumer_test.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
source_dir=$1
build_dir=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
export COMRT_REGISTRY=$work/registry

cmake --install "$build_dir" --prefix "$prefix" > "$work/install.log"
libdir=$(cd "$prefix" && dirname "$(find . -name 'libcomrt.so' | head -n 1)")
libdir=$prefix/${libdir#./}
export LD_LIBRARY_PATH=$libdir

echo "== installed files"
(cd "$prefix" && find . -type f -o -type l | sort)
for expected in bin/varnel bin/comrt-regsvr include/varnel/varnel.h include/varnel/host/service.h \
                include/comrt/comrt.h share/man/man1/comrt-regsvr.1; do
  [ -e "$prefix/$expected" ] || { echo "missing from the install: $expected" >&2; exit 1; }
done
for module in comrt varnel varnel-host; do
  [ -e "$libdir/pkgconfig/$module.pc" ] || { echo "missing: $module.pc" >&2; exit 1; }
done
[ -e "$libdir/cmake/Varnel/VarnelConfig.cmake" ] || { echo "missing: VarnelConfig.cmake" >&2; exit 1; }
# Installing registers nothing.
[ ! -e "$COMRT_REGISTRY" ] || { echo "installing wrote to the registry" >&2; exit 1; }

echo "== find_package"
cmake -S "$source_dir/tests/consumer" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" > "$work/configure.log"
cmake --build "$work/cmake-build" > "$work/build.log"
"$work/cmake-build/consumer" "$(cat "$work/cmake-build/component_path.txt")"

echo "== pkg-config"
export PKG_CONFIG_PATH=$libdir/pkgconfig
c++ -std=c++17 "$source_dir/tests/consumer/main.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs varnel-host)
"$work/consumer-pc" "$(pkg-config --variable=component varnel)"

echo "== the installed tool finds the installed library"
env -u VARNEL_LIBRARY "$prefix/bin/varnel" --version
"$prefix/bin/varnel" demo > "$work/demo.log"
grep -q "libvarnel.so" "$work/demo.log"
head -n 1 "$work/demo.log"
head -n 1 "$work/demo.log" | grep -q "$prefix"
echo "consumer: passed"
