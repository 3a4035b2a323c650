#!/bin/sh
# buildlocale.sh DIR LOCALE CHARMAP: compiles a locale into DIR/LOCALE.CHARMAP
# with localedef, which needs no root there, so the suite can run its file
# and dialog tests under it (LOCPATH=DIR). A locale that cannot be built
# (no localedef, no locale sources) is no build error: DIR/status says why,
# and the tests that need it report themselves skipped.
dir=$1
name=$2.$3
mkdir -p "$dir"
if localedef -i "$2" -f "$3" "$dir/$name" >"$dir/localedef.log" 2>&1 && [ -f "$dir/$name/LC_NUMERIC" ]; then
  echo "built $name" >"$dir/status"
else
  echo "$name could not be built: $(tail -n 1 "$dir/localedef.log")" >"$dir/status"
fi
exit 0
