#!/usr/bin/env bash
# Checks that every include in src/ runs downward through the layers
#   main.cpp -> cli -> ops -> formats -> coding, io -> platform
# (types.h and name_pool.h, which include nothing of qev, serve all), and
# that no file in src/ is longer than 400 lines. Prints each offence and
# exits non-zero when there is one.
set -euo pipefail
cd "$(dirname "$0")/.."

# What each folder may include besides itself, types.h and name_pool.h.
declare -A allowed=(
  [platform]=""
  [coding]=""
  [io]="platform"
  [formats]="coding io"
  [ops]="formats coding io platform"
  [cli]="ops formats io platform"
)
status=0
for folder in "${!allowed[@]}"; do
  while IFS= read -r line; do
    file="${line%%:*}"
    target="$(sed -E 's/.*#include "([^"]+)".*/\1/' <<<"${line#*:}")"
    top="${target%%/*}"
    case "${target}" in types.h | name_pool.h) continue ;; esac
    [[ "${top}" == "${folder}" ]] && continue
    if [[ " ${allowed[${folder}]} " != *" ${top} "* ]]; then
      echo "${file}: includes ${target}, which ${folder}/ may not"
      status=1
    fi
  done < <(grep -H '^#include "' src/"${folder}"/* || true)
done
# platform/ includes nothing of qev but its own header and types.h; neither
# do the shared headers.
if grep -H '^#include "' src/types.h src/name_pool.h; then
  echo "the shared headers include other parts of qev"
  status=1
fi
if grep -Hv '#include "\(types.h\|platform/platform.h\)"' src/platform/* | grep '#include "'; then
  status=1
fi
while read -r count file; do
  if [[ "${file}" != total && "${count}" -gt 400 ]]; then
    echo "${file}: ${count} lines (at most 400)"
    status=1
  fi
done < <(wc -l src/*.cpp src/*.h src/*/*.cpp src/*/*.h)
exit "${status}"
