#!/usr/bin/env bash
# Measures how the analyzer (the C++ files in analyzer/) hangs together and prints a short
# plain-text report, so a change of its structure can be stated in numbers before and after.
#   scripts/structure.sh [BUILD_DIR]        (default: build, the `default` preset's folder)
# It reads a configured and built tree (cmake --preset default; cmake --build --preset default)
# and refuses, with a message, a missing build or objects older than their sources. Nothing is
# named in advance: the analyzer's targets are the folders BUILD_DIR/analyzer/CMakeFiles/*.dir,
# its files whatever analyzer/ holds. Needs python3 and binutils (nm, c++filt) only.
#
# What it prints (the details are in scripts/structure.py's opening comment):
# 1. Call loop: the strongly connected components of the file graph A -> B "an object of A uses
#    a function or global that B's object defines", from `nm` (undefined U against defined
#    symbols; symbols no analyzer object defines are ignored). Largest component, its files,
#    the number of files in any cycle.
# 2. Include loop: the same for `#include "analyzer/..."` between modules (X.h + X.cpp = X).
# 3. Globals written from more than one file: the data symbols with external linkage that the
#    analyzer objects define in writable sections (nm D/B/V/S/C outside .data.rel.ro; kXxx
#    constants, vtables, typeinfo, guard variables, function-local statics and
#    anonymous-namespace data left out). WRITERS ARE FOUND BY A TOKEN/REGEX SCAN of
#    analyzer/*.cpp and *.h with comments, string literals and preprocessor lines removed, not
#    by a compiler: an occurrence of the name (not after `.`/`->`) followed through `[...]`,
#    `.member` and member calls is a write when it is assigned (=, +=, ...), incremented or
#    decremented, has its address taken (`&rcu.level`, `GetCtrlVal(p, c, &start)`; not when
#    only a pointer to const is made or a project function takes it as const), gets a mutating
#    member call (anything but size/empty/c_str/... ), is bound to a non-const reference or
#    pointer (`T& r = vs[w]`, `for (auto& x : g)`), is passed where the callee writes: the
#    output arguments of std/C routines (`std::copy(..., Rx)`, memcpy, snprintf, std::fill,
#    ...) and the non-const pointer, array, reference or std::span parameters of project
#    functions (declarations found by the same scan of the whole source tree but tests/ and
#    bench/), or a pointer into it (a bare array, g.data()) is stored, returned or handed to a
#    function the scan does not know.
#    Locals and parameters of the same name hide the global to the end of their block. The
#    scan errs on the side of counting a write; several writes on one line count once.
# 4. Touches to add a measurement function or a data source: files naming the function tables
#    (cf, funcmeas, fA, fB) or comparing a `function` with a number; files comparing a `source`
#    with a number (== / != and `case N:` of a switch on it); with the number of sites.
# 5. Qt per analyzer target: Qt libraries on the link line (link.txt), Qt on the compile line
#    (flags.make), Qt symbols the target's own objects use, and project libraries through which
#    its calls reach Qt (followed symbol by symbol as the linker would).
#
# STRUCTURE_DEBUG="rcu vs" lists every write site of the named globals on stderr.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

if [ $# -gt 1 ] || [ "${1:-}" = -h ] || [ "${1:-}" = --help ]; then
  echo "usage: scripts/structure.sh [BUILD_DIR]   (default: build)" >&2
  exit 2
fi
if [ $# -eq 1 ]; then
  build=$1
else
  build=$root/build
fi

fail() {
  echo "structure: $*" >&2
  echo "structure: configure and build first, e.g. cmake --preset default && cmake --build --preset default -j2" >&2
  exit 2
}
[ -d "$build" ] || fail "no build folder '$build'"
[ -f "$build/CMakeCache.txt" ] || fail "'$build' is not a configured CMake build (no CMakeCache.txt)"
[ -d "$build/analyzer/CMakeFiles" ] || fail "'$build' has no analyzer targets (no analyzer/CMakeFiles)"
for tool in python3 nm c++filt; do
  command -v "$tool" >/dev/null || { echo "structure: $tool not found (packages python3, binutils)" >&2; exit 2; }
done
exec python3 "$root/scripts/structure.py" "$build"
