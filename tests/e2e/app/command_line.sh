# A command line that is one quoted path with blanks puts the bare path into the path box.
source "$(dirname "$0")/lib.sh"

path=$(winpath "$component")
kw_start "$path"  # Wine quotes an argument holding blanks: the program gets "Z:\...\Mi Rejilla.ocx"
expect_eq "$(drive text "$TITLE")" "$path" "path box after start"
kw_stop

# Several quoted arguments become one text without quotes, blanks between them kept.
kw_start "a b.dll" "c d.ocx"
expect_eq "$(drive text "$TITLE")" "a b.dll c d.ocx" "path box after start"
kw_stop
echo "PASS"
