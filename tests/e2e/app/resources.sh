# Kestrelwing.exe carries its version information (the project's, such as 1.0.0.0 shown "1.00";
# Spanish (Spain)) and an application manifest: Windows Vista to 8.1, common controls 6, DPI aware,
# no elevation.
source "$(dirname "$0")/lib.sh"

resources=$(drive resources "$(winpath "$work/app/Kestrelwing.exe")") || fail "no resources"
value() { sed -n "s/^$1=//p" <<<"$resources"; }
expect_eq "$(value fixed)" "$KW_VERSION" "file version"
expect_eq "$(value FileVersion)" "$KW_VERSION_SHOWN" "file version as shown"
expect_eq "$(value ProductVersion)" "$KW_VERSION_SHOWN" "product version as shown"
expect_eq "$(value language)" "0C0A04B0" "language (Spanish (Spain), Unicode)"
expect_eq "$(value ProductName)" "Kestrelwing" "product name"
expect_eq "$(value InternalName)" "Kestrelwing" "internal name"
expect_eq "$(value OriginalFilename)" "Kestrelwing.exe" "file name"

manifest_text=$(sed -n '/<?xml/,$p' <<<"$resources")
expect_manifest() { grep -qF "$1" <<<"$manifest_text" || fail "the application manifest lacks $2"; }
expect_manifest '{e2011457-1546-43c5-a5fe-008deee3d3f0}' "Windows Vista"
expect_manifest '{35138b9a-5d96-4fbd-8e2d-a2440225f93a}' "Windows 7"
expect_manifest '{4a2f28e3-53b9-4441-ba9c-d69d4a4a6e38}' "Windows 8"
expect_manifest '{1f676c76-80e1-4239-95bb-83d0f6d0da78}' "Windows 8.1"
expect_manifest 'name="Microsoft.Windows.Common-Controls" version="6.0.0.0"' "common controls 6"
expect_manifest '<dpiAware>true</dpiAware>' "DPI awareness"
expect_manifest 'level="asInvoker"' "asInvoker"
echo "PASS"
