# What test/packages/language.wxs installed in Wine's prefix, for the tests
# that install it. Sourced; needs $loader, the Wine loader.

# installed_language: 1033, 1031 or 1036, by the installed readme's and
# registry value's words; "none" when nothing is installed.
installed_language() {
  local readme greeting local_app_data
  local_app_data=$(echo "$WINEPREFIX"/drive_c/users/*/AppData/Local)
  readme=$(tr -d '\r' <"$local_app_data/VelkinLanguageTest/readme.txt" 2>/dev/null)
  # reg prints the value in the console's code page: its ASCII words alone.
  greeting=$("$loader" reg query 'HKCU\Software\Velkin\LanguageTest' /v Greeting </dev/null 2>/dev/null) \
    && greeting=$(LC_ALL=C tr -dc '[:alnum:] \n' <<<"$greeting") || greeting=
  case "$readme|$greeting" in
    *Deutsch*\|*Gott*) echo 1031 ;;
    *fran*\|*Bonjour*) echo 1036 ;;
    *English*\|*Hello*) echo 1033 ;;
    "|") echo none ;;
    *) echo "mixed: $readme / $greeting" ;;
  esac
}
