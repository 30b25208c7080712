#!/usr/bin/env bash
# How much the updater's .exe grows with the zstd decoder (goal: at most 200 KB),
# stripped sizes throughout:
#  - the updater before .dvx packages (tests/fixtures/old-updater) against
#    the one the win32 preset builds now;
#  - the updater built now, linked again as it is and with one more object
#    that calls the streaming decoder (create, window bound, decompress,
#    free), which pulls in what the .dvx apply needs of libzstd.
#   bash tests/bench/updater-growth.sh      (after building the win32 preset)
set -euo pipefail
repo=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
build="$repo/build/win32"
work=$(mktemp -d /tmp/dvk-growth.XXXXXX)
trap 'rm -rf "$work"' EXIT
size() { i686-w64-mingw32-strip -o "$work/stripped.exe" "$1" && stat -c %s "$work/stripped.exe"; }

old=$(stat -c %s "$repo"/tests/fixtures/old-updater/dravlek-update-*.exe)
now=$(size "$build/ui/dravlek-update.exe")
printf '%-52s %9d bytes\n' "updater before .dvx (fixture)" "$old" "updater built now" "$now"
printf '%-52s %+9d bytes\n' "growth" $((now - old))

# The link line ninja uses for the updater, run from the build folder with
# its outputs (the .exe, its import library) sent to the scratch folder.
link=$(cd "$build" && ninja -t commands ui/dravlek-update.exe | tail -n 1 | sed 's/^: && //; s/ && :$//;
  s|--out-implib,[^ ]*|--out-implib,'"$work"'/implib.a|')
cat >"$work/decoder.c" <<'EOF'
#include <zstd.h>
size_t DecodeForSize(void* out, size_t outSize, const void* in, size_t inSize) {
    ZSTD_DCtx* context = ZSTD_createDCtx();
    ZSTD_DCtx_setParameter(context, ZSTD_d_windowLogMax, 27);
    ZSTD_outBuffer output = {out, outSize, 0};
    ZSTD_inBuffer input = {in, inSize, 0};
    size_t left = ZSTD_decompressStream(context, &output, &input);
    ZSTD_freeDCtx(context);
    return ZSTD_isError(left) ? 0 : output.pos;
}
EOF
i686-w64-mingw32-gcc -O2 -c -I"$build/_deps/zstd/source/lib" "$work/decoder.c" -o "$work/decoder.o"
(cd "$build" && eval "${link//-o ui\/dravlek-update.exe/-o $work/plain.exe}")
(cd "$build" && eval "${link//-o ui\/dravlek-update.exe/-o $work/decoder.exe $work/decoder.o $build/_deps/zstd/decoder/static/libzstd.a}")
plain=$(size "$work/plain.exe") decoder=$(size "$work/decoder.exe")
printf '%-52s %9d bytes\n' "updater built now, linked again" "$plain" "the same with the streaming decoder" "$decoder"
printf '%-52s %+9d bytes  (goal: at most 200 KB)\n' "what the decoder adds" $((decoder - plain))
