#!/usr/bin/env bash
# Builds the tool, generates the sample databases into sample/ and shows the tool at work on them.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DQM_BUILD_TESTS=ON >/dev/null
ninja -C build -j"$(nproc)" dat-tool make-sample
tool="$PWD/build/apps/quillmere-tools/dat-tool"
rm -rf sample && mkdir -p sample
build/tools/make-sample sample
cd sample
run() { echo; echo "\$ dat-tool $*"; "$tool" "$@"; }
run meta portal.dat
run list portal.dat
run info portal.dat 0x06000001
run extract portal.dat 0x06000001
run extract portal.dat 0x0A000001
run export portal.dat 0x01000001 -o model.bin
run weenie portal.dat 0x0E100001
run weenie-find portal.dat 4242
run spell-export portal.dat --schools war -o exports/war-spells.json
run spell-export portal.dat --preset minimal --categories 7
run meta cell.dat
run landblock cell.dat 0x3A5F0000
run qma-pack portal-files portal.qma -c
run meta portal.qma
run info portal.qma 0x06000001
run weenie-find portal.qma 4242
run qma-pack cell-files cell.qma -c
run list cell.qma
run landblock cell.qma 0x3A5F0000
run unpack portal.qma unpacked
run qma-pack portal.dat repacked.qma -c
run verify repacked.qma
run verify cell.dat
echo
echo "Files written into sample/:"
ls -l 06000001.jpg 0A000001.wav model.bin exports/war-spells.json
