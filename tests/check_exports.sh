#!/bin/sh
# The plug-in module must export QueryInterface and no other symbol.
set -eu
module="$1"
exported=$(nm -D --defined-only "$module" | awk '{print $3}' | sort)
if [ "$exported" != "QueryInterface" ]; then
  echo "expected only QueryInterface to be exported by $module, found:"
  echo "$exported"
  exit 1
fi
echo "$module exports only QueryInterface"
