#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked C++ file is as clang-format (the repo's .clang-format) writes it,
# and every Python file as black writes it at 100 columns. Names each file that is not.
set -uo pipefail
cd "$(dirname "$0")/.."
status=0
while IFS= read -r file; do
  clang-format --dry-run -Werror "$file" >/dev/null 2>&1 || {
    echo "not clang-formatted: $file"
    status=1
  }
done < <(git ls-files '*.cpp' '*.h')
mapfile -t python < <(git ls-files '*.py')
if ! black --quiet --check --line-length 100 "${python[@]}" 2>/dev/null; then
  black --check --line-length 100 "${python[@]}" 2>&1 | sed -n 's/^would reformat /not black-formatted: /p'
  status=1
fi
exit $status
