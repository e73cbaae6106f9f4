# The "..." button opens the file dialog; Cancel keeps the path box's text.
source "$(dirname "$0")/lib.sh"

kw_start
drive set-text "$TITLE" 'Z:\keep me\grid.ocx' || fail "could not type into the path box"
drive click "$TITLE" "..." || fail "no ... button"
dialog=$(drive cancel-dialog "$TITLE") || fail "the file dialog did not open"
echo "file dialog: $dialog"
expect_eq "$(drive text "$TITLE")" 'Z:\keep me\grid.ocx' "path box after Cancel"
drive no-message "$TITLE" 500 || fail "a message box appeared"
kw_stop
echo "PASS"
