#!/bin/sh
# inlocale.sh DIR LOCALE PROGRAM [ARGUMENTS]: runs a test program under
# LOCALE, compiled into DIR by buildlocale.sh. Exit status 77 (which ctest
# reports as skipped) when the locale is not there or the C library does not
# take it.
dir=$1
name=$2
shift 2
if [ "$(LOCPATH=$dir LC_ALL=$name locale -k decimal_point 2>/dev/null)" != 'decimal_point=","' ]; then
  echo "SKIPPED: the locale $name is not available in $dir: $(cat "$dir/status" 2>/dev/null || echo not built)"
  exit 77
fi
LOCPATH=$dir LC_ALL=$name LANG=$name LANGUAGE=
export LOCPATH LC_ALL LANG LANGUAGE
exec "$@"
