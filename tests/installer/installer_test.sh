#!/usr/bin/env bash
# The setup program end to end, in a fresh Wine prefix: a silent install, the files, the
# per-user registration and the shortcut, the tray program run from where it was installed, a
# silent uninstall, and nothing left behind but the user's menu file. (Wine does not merge
# HKCU\Software\Classes into HKEY_CLASSES_ROOT as Windows does, so the per-user keys are
# checked where they are written.) Then files in use: an upgrade and the uninstall while
# another program holds the shell extension loaded and the tray program runs. On 64-bit
# Windows 11, the sparse package's registration and removal through PowerShell, whose place the
# recorder takes (Windows 10 registers nothing), into a folder whose name PowerShell would read
# as code if setup did not quote it.
#   tests/installer/installer_test.sh SETUP.exe 32|64 PREFIX TRAY_POKE.exe HOLDER.exe RECORDER.exe
# 32 or 64: the Windows the prefix imitates; the setup installs the set that fits it.
set -uo pipefail
cd "$(dirname "$0")/../.."
if [ ! -f "$1" ]; then
  echo "installer: skipped: no $1 (scripts/build makes it from both architectures' builds)"
  exit 77
fi
setup=$(readlink -f "$1") arch=$2 poke=$(readlink -f "$4") holder=$(readlink -f "$5")
source scripts/wine-env
rm -rf "$3"
zel_wine_start "$3" "$arch" || exit 1
trap 'zel_wine_stop "$WINEPREFIX"' EXIT
passed=0
failed=0
check() {  # check "what" command...
  if "${@:2}" >/dev/null 2>&1; then passed=$((passed + 1)); else
    failed=$((failed + 1)) && echo "installer: FAILED ($arch-bit): $1" >&2; fi
}
wait_until() {  # wait_until SECONDS command...
  for _ in $(seq $(($1 * 10))); do "${@:2}" >/dev/null 2>&1 && return 0; sleep 0.1; done
  return 1
}

clsid=$(sed -n 's/.*kClassId\[\] = "\(.*\)";/\1/p' shellext/registration.h)
log=$WINEPREFIX.test.log
win() { zel_wine "$@" </dev/null >>"$log" 2>&1; }
winvar() { zel_wine cmd /c echo "%$1%" </dev/null 2>>"$log" | tr -d '\r'; }
unix() { zel_winepath -u "$1"; }
machine() { x86_64-w64-mingw32-objdump -f "$1" | grep -q "file format $2"; }

menu_dir=$(unix "$(winvar APPDATA)\\Zelvane")
install_win="$(winvar LOCALAPPDATA)\\Programs\\Zel'vane‘\$x’"  # no space: NSIS reads /D= unquoted
install_dir=$(unix "$install_win")
temp_dir=$(unix "$(winvar TEMP)")
shortcut=$(unix "$(winvar APPDATA)\\Microsoft\\Windows\\Start Menu\\Programs\\Zelvane.lnk")
# The user's own menu, there before the install: it must come through untouched.
mkdir -p "$menu_dir"
printf "item 'Mine','mine.exe'\r\n" >"$menu_dir/Menu.txt"
# The package: the recorder stands in for PowerShell and exits with ZEL_RECORD_EXIT. Wine reports
# the Windows build this value says (its own version setting unset), in each registry view.
powershell=$WINEPREFIX/drive_c/windows/system32/WindowsPowerShell/v1.0/powershell.exe
nt='HKLM\Software\Microsoft\Windows NT\CurrentVersion'
windows_build() { for v in 32 64; do win reg add "$nt" /v CurrentBuildNumber /d "$1" /f /reg:$v; done; }
called() { head -1 "${powershell%.exe}.txt" 2>/dev/null | tr -d '\r'; rm -f "${powershell%.exe}.txt"; }
run="\"$(winvar SystemRoot)\\system32\\WindowsPowerShell\\v1.0\\powershell.exe\" -NoProfile -NonInteractive \
-ExecutionPolicy Bypass -Command \"Get-AppxPackage -Name Zelvane | Remove-AppxPackage"
quoted="$(winvar LOCALAPPDATA)\\Programs\\Zel''vane‘‘\$x’’"
register="${run%%Get-*}\$p = '$quoted\\Zelvane.msix'; \$x = '$quoted'; try { Add-AppxPackage -Path \$p \
-ExternalLocation \$x -ForceUpdateFromAnyVersion -DeferRegistrationWhenPackagesAreInUse -ErrorAction Stop } \
catch { Get-AppxPackage -Name Zelvane | Remove-AppxPackage; Add-AppxPackage -Path \$p -ExternalLocation \$x }\""
package_check() { [ "$arch" = 32 ] || check "$@"; }  # a 32-bit Windows has no package
[ "$arch" = 32 ] || { cp "$6" "$powershell" && windows_build 22000; }

win "$setup" /S "/D=$install_win"
package_check "registers the package on Windows 11 with its folder quoted" test "$(called)" = "$register"
for file in Zelvane.exe zelshell.dll Editor.exe zelmenu.exe uninstall.exe; do
  check "installs $file" test -f "$install_dir/$file"
done
if [ "$arch" = 64 ]; then format=pei-x86-64; else format=pei-i386; fi
for file in Zelvane.exe zelshell.dll; do check "installs the $arch-bit $file" machine "$install_dir/$file" "$format"; done
check "keeps the user's menu file" grep -q Mine "$menu_dir/Menu.txt"
check "creates the Start-menu entry" test -f "$shortcut"
reg_absent() { ! zel_wine reg query "$@" </dev/null >/dev/null 2>&1; }
# The installer registers the library as the library registers itself (its keys are checked in
# the Windows suite): the library's unregistration removes the installer's keys, and its
# registration writes them back.
user_keys() {
  local key
  for key in "CLSID\\$clsid" 'AllFilesystemObjects\shellex\ContextMenuHandlers\ZVMenu'; do
    # Wine's reg says that a key is missing on its standard output.
    zel_wine reg query "HKCU\\Software\\Classes\\$key" /s </dev/null 2>>"$log" | tr -d '\r' | grep -v '^reg: '
  done
}
installed=$(user_keys)
win regsvr32 /s /u "$(zel_winepath -w "$install_dir/zelshell.dll")"
check "the library's unregistration removes the installer's keys" test -z "$(user_keys)"
win regsvr32 /s "$(zel_winepath -w "$install_dir/zelshell.dll")"
check "the library registers what the installer did" test "$(user_keys)" = "$installed"
check "leaves start with Windows off" reg_absent "HKCU\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN" /v Zelvane

# The installed program runs, answers its window and ends on Exit.
zel_wine "$install_dir/Zelvane.exe" </dev/null >>"$log" 2>&1 &
tray=$!
check "the installed tray program starts" wait_until 20 zel_wine "$poke" exit
check "the installed tray program ends on Exit" wait_until 20 bash -c "! kill -0 $tray"

# Files in use, as on a desktop. The installed program and library get a changed tail first,
# so that the upgrade shows whether the new ones landed.
declare -A holders
hold() {  # hold load|open FILE: held in the background until `release load|open`
  zel_wine "$holder" "$1" "$(zel_winepath -w "$2")" "$(zel_winepath -w "$WINEPREFIX.held.$1")" \
    </dev/null >>"$log" 2>&1 &
  holders[$1]=$!
  wait_until 20 test -f "$WINEPREFIX.held.$1"
}
release() { rm -f "$WINEPREFIX.held.$1"; wait "${holders[$1]}"; }
leftovers() { ls "$@" 2>/dev/null | grep -c 'zel-old$'; }
for file in Zelvane.exe zelshell.dll; do printf changed >>"$install_dir/$file"; done
hold open "$install_dir/zelmenu.exe"
win "$setup" /S "/D=$install_win"
check "setup fails when it cannot replace a file" test $? -ne 0
check "and leaves the installed files as they were" \
  test "$(tail -c 7 "$install_dir/Zelvane.exe")$(tail -c 7 "$install_dir/zelshell.dll")" = changedchanged
release open
hold load "$install_dir/zelshell.dll"
zel_wine "$install_dir/Zelvane.exe" </dev/null >>"$log" 2>&1 &
tray=$!
wait_until 20 zel_wine "$poke" running
ZEL_RECORD_EXIT=1 win "$setup" /S "/D=$install_win"
check "an upgrade over files in use succeeds, though the package's registration fails" test $? -eq 0
for file in Zelvane.exe zelshell.dll; do
  check "the upgrade replaces $file in use" cmp "dist/win$arch/$file" "$install_dir/$file"
done
check "the upgrade closes the tray program" wait_until 20 bash -c "! kill -0 $tray"
check "the upgrade starts the tray program again" zel_wine "$poke" running
release load
zel_wine "$poke" exit
zel_wine "$install_dir/Zelvane.exe" </dev/null >>"$log" 2>&1 &
wait_until 20 zel_wine "$poke" running
check "the tray program's start removes what the upgrade set aside" test "$(leftovers "$install_dir")" = 0
hold load "$install_dir/zelshell.dll"

win "$install_dir/uninstall.exe" /S
check "uninstall removes the program folder" wait_until 30 test ! -e "$install_dir"
package_check "uninstall removes the package" test "$(called)" = "$run\""
check "uninstall removes the shortcut" test ! -e "$shortcut"
check "uninstall removes the registration and the handler key" test -z "$(user_keys)"
check "uninstall removes its Add/Remove Programs entry" reg_absent "HKCU\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Zelvane"
check "uninstall keeps the user's menu file" grep -q Mine "$menu_dir/Menu.txt"
check "uninstall closes the tray program and sets only the library aside" \
  test "$(leftovers "$temp_dir")" = 1
release load
# The next logon runs what uninstall left in RunOnce; Wine's start-up runs only the machine's.
zel_wine reg query 'HKCU\Software\Microsoft\Windows\CurrentVersion\RunOnce' </dev/null 2>>"$log" |
  tr -d '\r' | sed -n 's/^.*REG_SZ *//p' >"$WINEPREFIX.runonce.bat"
win cmd /c "$(zel_winepath -w "$WINEPREFIX.runonce.bat")"
check "what uninstall set aside goes at the next logon" test "$(leftovers "$temp_dir")" = 0

# Start with Windows, chosen on the command line: the program's own Run value.
approved='HKCU\Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run'
win reg add "$approved" /v Zelvane /t REG_BINARY /d 030000000000000000000000 /f
[ "$arch" = 32 ] || windows_build 19045
win "$setup" /S /AUTOSTART "/D=$install_win"
check "/AUTOSTART undoes a Task Manager off" reg_absent "$approved" /v Zelvane
check "/AUTOSTART sets the Run value" grep -qi '"[^"]*Programs.Zel.vane.*x.*.Zelvane.exe"' \
  <(zel_wine reg query 'HKCU\SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUN' /v Zelvane </dev/null 2>>"$log")
win "$install_dir/uninstall.exe" /S
check "uninstall removes the Run value" wait_until 30 reg_absent "HKCU\\SOFTWARE\\MICROSOFT\\WINDOWS\\CURRENTVERSION\\RUN" /v Zelvane
check "uninstall leaves no program folder" wait_until 30 test ! -e "$install_dir"
package_check "Windows 10 neither registers nor removes the package" test -z "$(called)"
echo "installer: $passed passed, $failed failed"
[ "$failed" -eq 0 ]
