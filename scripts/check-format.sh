#!/usr/bin/env bash
# Fails when a C or C++ file is not in the house style (.clang-format);
# `make format` fixes them. Skips (77) without clang-format.
set -euo pipefail
cd "$(dirname "$0")/.."
if ! command -v clang-format >/dev/null; then
  echo "clang-format is not installed" >&2
  exit 77
fi
unformatted=()
while IFS= read -r -d '' file; do
  if ! clang-format --dry-run -Werror "$file" >/dev/null 2>&1; then unformatted+=("$file"); fi
done < <(git ls-files -z '*.cpp' '*.h' 2>/dev/null || find . -path ./build -prune -o \( -name '*.cpp' -o -name '*.h' \) -print0)
if [ ${#unformatted[@]} -gt 0 ]; then
  printf 'not in the house style (run make format):\n'
  printf '  %s\n' "${unformatted[@]}"
  exit 1
fi
echo "every C and C++ file is in the house style"
