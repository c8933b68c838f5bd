#!/usr/bin/env bash
# The emulator of the Windows-side tests. When ctest runs them side by side (the test preset
# mingw-pair gives it cmake/wine-slots.json), each test runs in the prefix of the slot ctest
# gave it, and on that slot's display when there is one: tests running at the same time
# share no wineserver, Running Object Table, registry or keyboard focus. Slot p0, and a run
# without slots, use the build's own prefix.
set -euo pipefail
slot=${CTEST_RESOURCE_GROUP_0_WINEPREFIX:-}  # "id:p1,slots:1"
slot=${slot#id:}
slot=${slot%%,*}
if [ -n "$slot" ] && [ "$slot" != p0 ]; then
  export RAVEL_WINEPREFIX=${RAVEL_WINEPREFIX:-$(cd "$(dirname "$1")" && pwd)/wineprefix-$slot}
  display=RAVEL_DISPLAY_$slot
  [ -n "${!display:-}" ] && export DISPLAY=${!display}
fi
exec bash "$(dirname "$0")/wine-run.sh" "$@"
