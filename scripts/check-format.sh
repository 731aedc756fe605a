#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks that every tracked C++ file is as clang-format (the repo's .clang-format) writes it,
# and every Python file as black writes it at 100 columns. Names each file that is not. The
# formatters of Debian 12 are the measure (clang-format 14, black 23): other versions lay some
# lines out otherwise, so with them the check is skipped (status 77), never failed.
set -uo pipefail
cd "$(dirname "$0")/.."
clang_format=$(clang-format --version | grep -oE 'version [0-9]+' | grep -oE '[0-9]+')
black_version=$(black --version | grep -oE '[0-9]+' | head -1)
if [ "$clang_format" != 14 ] || [ "$black_version" != 23 ]; then
  echo "clang-format $clang_format and black $black_version are not the formatters the code is"\
    "laid out with (14 and 23): the check is skipped"
  exit 77
fi
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
