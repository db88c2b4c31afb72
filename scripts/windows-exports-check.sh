#!/usr/bin/env bash
# Fails when a DLL exports anything but the public API: the access
# component's and the control object's classes (their members, type
# information and tables), the records' constructors, the host calls and
# the C interface. Catches a runtime or internal helper leaking out of a DLL.
# Usage: scripts/windows-exports-check.sh DLL...
set -euo pipefail
allowed='^(CQZDatabase|CQZRecordSet|CQZDBVariant|CQZDBException|SQZDateTime|SQZGeZhuanTaskInfo|CQZNVGeZhuanDBControl)::|^(typeinfo|vtable|typeinfo name) for (CQZDatabase|CQZRecordSet|CQZDBVariant|CQZDBException|SQZDateTime|SQZGeZhuanTaskInfo|CQZNVGeZhuanDBControl)$|^QZNVGeZhuan[A-Za-z]+(\[abi:cxx11\])?\(|^QZNVGeZhuanDB_[A-Za-z]+$'
status=0
for dll in "$@"; do
  exports=$(x86_64-w64-mingw32-objdump -p "$dll" |
    sed -n '/\[Ordinal\/Name Pointer\] Table/,/^$/p' | sed -n 's/^\s*\[ *[0-9]*\] //p' | c++filt)
  [ -n "$exports" ] || { echo "$dll exports nothing" >&2; status=1; continue; }
  leaked=$(echo "$exports" | grep -Ev "$allowed" || true)
  if [ -n "$leaked" ]; then
    echo "$dll exports what is not public API:" >&2
    echo "$leaked" | sed 's/^/  /' >&2
    status=1
  fi
done
exit $status
