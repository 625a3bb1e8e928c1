#!/usr/bin/env bash
# Builds vantorix-cli and renders the built-in example on the 3.5" module.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh build
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build build -j"$(nproc)" --target vantorix-cli
./build/vantorix-cli -m KP350 -a 90 examples/hello.txt -o build/hello.png
echo "Rendered examples/hello.txt on a KP350 at 90 degrees: $(pwd)/build/hello.png"
