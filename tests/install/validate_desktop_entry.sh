#!/bin/sh
# Runs desktop-file-validate on the desktop entry given; exits 77 (skipped) where the tool is
# not installed (Debian: desktop-file-utils). Errors and warnings both fail.
entry=$1
if ! command -v desktop-file-validate >/dev/null 2>&1; then
  echo "desktop-file-validate is not installed (apt-get install desktop-file-utils): skipped"
  exit 77
fi
out=$(desktop-file-validate "$entry" 2>&1)
rc=$?
if [ $rc -ne 0 ] || [ -n "$out" ]; then
  echo "desktop-file-validate $entry ($rc):"
  echo "$out"
  exit 1
fi
echo "desktop-file-validate accepts $entry"
