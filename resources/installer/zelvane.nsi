; Zelvane's setup program: installs the 32-bit or the 64-bit set, whichever fits the Windows it
; runs on, for the current user only (no administrator rights), with a Start-menu entry and,
; optionally, start with Windows. The uninstaller never touches the user's menu file.
; Files in use: both close the tray program first (and setup starts it again); a file something
; else still uses (Explorer keeps the shell extension loaded) is renamed aside, which works on
; its volume while the image is mapped, and goes once nothing uses it. No restart, no rights.
;
; makensis -DVERSION=<x.y.z> -DDIST=<dist folder> -DOUTFILE=<setup.exe> [-DX64] [-DSIGNED_PACKAGE]
;   zelvane.nsi
; X64: the same setup as a 64-bit program (which always installs the 64-bit set), for testing on
; machines that cannot run 32-bit programs. The shipped setup is the 32-bit one.
; SIGNED_PACKAGE: the 64-bit set's sparse package (DIST\win64\Zelvane.msix) is signed: on Windows
; 11 setup registers it for the user, which puts the library's command in Explorer's first
; context menu. Windows installs no unsigned package.

!ifdef X64
  Target amd64-unicode
!else
  Unicode true
!endif
!include "LogicLib.nsh"
!include "x64.nsh"
!include "StrFunc.nsh"
!include "FileFunc.nsh"
!include "Sections.nsh"
!include "WinMessages.nsh"
!include "WinVer.nsh"
${StrStr}
${UnStrStr}

; The shell extension's registry content, read from the library's own source: one spelling of
; every key and value for both. C escapes its backslashes; the registry wants them single. The
; path is the script's own folder's: makensis works there.
!macro ReadRegistrationText SYMBOL NAME
  !searchparse /file "../../shellext/registration.h" '${NAME}[] = "' _TEXT '"'
  !searchreplace ${SYMBOL} "${_TEXT}" "\\" "\"
  !undef _TEXT
!macroend
!insertmacro ReadRegistrationText CLSID kClassId
!insertmacro ReadRegistrationText DESCRIPTION kClassDescription
!insertmacro ReadRegistrationText SERVER_KEY kServerKeyName
!insertmacro ReadRegistrationText THREADING_VALUE kThreadingModelValue
!insertmacro ReadRegistrationText THREADING_MODEL kThreadingModel
!insertmacro ReadRegistrationText CLASSES kClassesKey
!insertmacro ReadRegistrationText HANDLER kHandlerKey
; What is set aside gets its name with a counter and this suffix; the tray program deletes the
; same beside itself when it starts. Its main window's class, to close it.
!searchparse /file "../../tray/leftovers.h" 'kLeftoverSuffix[] = L"' LEFTOVER '"'
!searchparse /file "../../tray/tray_main_win32.cpp" 'kClassName[] = "' TRAY_CLASS '"'
!define CLASS_KEY "${CLASSES}\CLSID\${CLSID}"
!define HANDLER_KEY "${CLASSES}\${HANDLER}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelvane"
!define RUN_KEY "SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUN"
; Where Task Manager keeps a Run value switched off.
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"
!define RUNONCE_KEY "Software\Microsoft\Windows\CurrentVersion\RunOnce"
; The sparse package's name, as its maker spells it, and the PowerShell that manages packages:
; the system's own, by its full path (on 64-bit Windows the 64-bit one, with the file system
; redirection of a 32-bit setup off).
!searchparse /file "../package/make_package.py" "NAME = '" PACKAGE_NAME "'"
!define POWERSHELL `"$SYSDIR\WindowsPowerShell\v1.0\powershell.exe" -NoProfile -NonInteractive \
    -ExecutionPolicy Bypass -Command`

Name "Zelvane ${VERSION}"
OutFile "${OUTFILE}"
RequestExecutionLevel user
InstallDir "$LOCALAPPDATA\Programs\Zelvane"
SetCompressor /SOLID lzma
VIProductVersion "${VERSION}.0"
VIAddVersionKey "ProductName" "Zelvane"
VIAddVersionKey "FileDescription" "Zelvane Setup"
VIAddVersionKey "FileVersion" "${VERSION}.0"
VIAddVersionKey "ProductVersion" "${VERSION}.0"
VIAddVersionKey "LegalCopyright" "Copyright (C) 2026 The Zelvane developers"

Page components
Page directory
Page instfiles
UninstPage uninstConfirm
UninstPage instfiles


Var TrayWasRunning

; Closes the running tray program as its Exit does (its window's WM_CLOSE), waits up to 5 s for
; the process to end and only then ends it: it holds no unsaved work. Sets $TrayWasRunning.
!macro CloseTrayProgram UN
Function ${UN}CloseTrayProgram
  StrCpy $TrayWasRunning ""
  ${For} $R1 1 3
    FindWindow $R0 "${TRAY_CLASS}"
    ${IfThen} $R0 == 0 ${|} ${Break} ${|}
    StrCpy $TrayWasRunning 1
    System::Call 'user32::GetWindowThreadProcessId(p $R0, *i 0 .R2)'
    ; SYNCHRONIZE | PROCESS_TERMINATE
    System::Call 'kernel32::OpenProcess(i 0x100001, i 0, i $R2) p .R3'
    System::Call 'user32::PostMessageW(p $R0, i ${WM_CLOSE}, p 0, p 0)'
    System::Call 'kernel32::WaitForSingleObject(p $R3, i 5000) i .R4'
    ${If} $R4 != 0  ; not WAIT_OBJECT_0
      System::Call 'kernel32::TerminateProcess(p $R3, i 1)'
      System::Call 'kernel32::WaitForSingleObject(p $R3, i 5000)'
    ${EndIf}
    System::Call 'kernel32::CloseHandle(p $R3)'
  ${Next}
FunctionEnd
!macroend
!insertmacro CloseTrayProgram ""
!insertmacro CloseTrayProgram "un."

; Renames $R0\$R1, when it exists, to $R2\$R1.<n>${LEFTOVER} (same volume: it works while the
; file is mapped). $R3: the new path, or "" when nothing was moved.
!macro MoveAside UN
Function ${UN}MoveAside
  StrCpy $R3 ""
  ${IfNot} ${FileExists} "$R0\$R1"
    Return
  ${EndIf}
  StrCpy $R4 1
  ${While} ${FileExists} "$R2\$R1.$R4${LEFTOVER}"
    IntOp $R4 $R4 + 1
  ${EndWhile}
  ClearErrors
  Rename "$R0\$R1" "$R2\$R1.$R4${LEFTOVER}"
  ${IfNot} ${Errors}
  ${AndIfNot} ${FileExists} "$R0\$R1"
    StrCpy $R3 "$R2\$R1.$R4${LEFTOVER}"
  ${ElseIf} ${FileExists} "$R0\$R1"
    ; Copied, not moved (another volume): the file is still in use where it was.
    Delete "$R2\$R1.$R4${LEFTOVER}"
  ${EndIf}
FunctionEnd
!macroend
!insertmacro MoveAside ""
!insertmacro MoveAside "un."

Var Aside1  ; where each old program file was set aside, or ""
Var Aside2
Var Aside3
Var Aside4
Var WriteFailed  ; the first program file setup could not write, or ""

!macro SetAside NAME VAR
  StrCpy $R0 "$INSTDIR"
  StrCpy $R1 "${NAME}"
  StrCpy $R2 "$INSTDIR"
  Call MoveAside
  StrCpy ${VAR} $R3
!macroend

; A file that cannot be written (another program has it open without sharing) fails setup.
!macro WriteFile SET NAME
  ${If} $WriteFailed == ""
    ClearErrors
    File "${DIST}\${SET}\${NAME}"
    ${IfThen} ${Errors} ${|} StrCpy $WriteFailed "${NAME}" ${|}
  ${EndIf}
!macroend

!macro PutBack NAME VAR
  ${If} ${VAR} != ""
    Delete "$INSTDIR\${NAME}"
    Rename "${VAR}" "$INSTDIR\${NAME}"
  ${EndIf}
!macroend

Function FailWrite
  MessageBox MB_ICONSTOP "Setup could not write $INSTDIR\$R1: another program is using it.$\r$\n\
      Close that program and run setup again." /SD IDOK
  SetErrorLevel 2
  Abort "Could not write $INSTDIR\$R1"
FunctionEnd

; The old files move aside first, in case something uses them, then the new ones are written;
; when one cannot be, every old one goes back: a failed setup leaves the installed set as it was.
!macro PutProgramFiles SET
  StrCpy $WriteFailed ""
  !insertmacro SetAside Zelvane.exe $Aside1
  !insertmacro SetAside zelshell.dll $Aside2
  !insertmacro SetAside zelmenu.exe $Aside3
  !insertmacro SetAside Editor.exe $Aside4
  !insertmacro WriteFile ${SET} Zelvane.exe
  !insertmacro WriteFile ${SET} zelshell.dll
  !insertmacro WriteFile ${SET} zelmenu.exe
  !insertmacro WriteFile ${SET} Editor.exe
  ${If} $WriteFailed != ""
    !insertmacro PutBack Zelvane.exe $Aside1
    !insertmacro PutBack zelshell.dll $Aside2
    !insertmacro PutBack zelmenu.exe $Aside3
    !insertmacro PutBack Editor.exe $Aside4
    StrCpy $R1 $WriteFailed
    Call FailWrite
  ${EndIf}
!macroend

Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Zelvane" SecMain
  SectionIn RO
  Call CloseTrayProgram
  SetOutPath "$INSTDIR"
  ; Skipped with the error flag set, never with a question that silent mode answers "ignore".
  SetOverwrite try
  ${If} ${RunningX64}
    !insertmacro PutProgramFiles win64
  ${Else}
    !insertmacro PutProgramFiles win32
  ${EndIf}
  ; What was set aside and is no longer in use; the rest goes at the tray program's next start.
  Delete "$INSTDIR\*${LEFTOVER}"

  ; A first menu for a new user; an existing menu file is never replaced.
  SetOutPath "$APPDATA\Zelvane"
  SetOverwrite off
  File "/oname=Menu.txt" "${DIST}\..\resources\sample\Menu.txt"
  SetOverwrite on
  SetOutPath "$INSTDIR"

  ; The shell extension, registered for this user as the library itself does: the shell merges
  ; HKCU\Software\Classes into HKEY_CLASSES_ROOT.
  StrCpy $0 "$INSTDIR\zelshell.dll"
  ${StrStr} $1 $0 " "
  ${If} $1 != ""
    GetFullPathName /SHORT $0 "$INSTDIR\zelshell.dll"
  ${EndIf}
  WriteRegStr HKCU "${CLASS_KEY}" "" "${DESCRIPTION}"
  WriteRegStr HKCU "${CLASS_KEY}\${SERVER_KEY}" "" "$0"
  WriteRegStr HKCU "${CLASS_KEY}\${SERVER_KEY}" "${THREADING_VALUE}" "${THREADING_MODEL}"
  WriteRegStr HKCU "${HANDLER_KEY}" "" "${CLSID}"

  !ifdef SIGNED_PACKAGE
    Call RegisterPackage
  !endif

  CreateShortCut "$SMPROGRAMS\Zelvane.lnk" "$INSTDIR\Zelvane.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Zelvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

!ifdef SIGNED_PACKAGE
${StrRep}
; Windows 11 (build 22000) shows only commands of classes with a package identity in Explorer's
; first context menu; 64-bit Windows only, for the x64 library. The package's files stay in
; $INSTDIR, its external location. An upgrade updates the registered package in place, deferred
; while Explorer's surrogate holds the library (removing it first would then leave none); only
; when Windows refuses that (the same version with other contents) does the old one go first.
; A failure leaves the classic menu, which works.
Function RegisterPackage
  ${IfNot} ${RunningX64}
  ${OrIfNot} ${AtLeastBuild} 22000
    Return
  ${EndIf}
  File "${DIST}\win64\${PACKAGE_NAME}.msix"
  SetOutPath "$INSTDIR\Assets"
  File "${DIST}\win64\Assets\*.png"
  SetOutPath "$INSTDIR"
  ; The folder in a single-quoted PowerShell string, where each kind of single quote is doubled;
  ; nothing else is special there, and no file name holds a double quote.
  ${StrRep} $0 "$INSTDIR" "'" "''"
  ${StrRep} $0 $0 "${U+2018}" "${U+2018}${U+2018}"
  ${StrRep} $0 $0 "${U+2019}" "${U+2019}${U+2019}"
  ${StrRep} $0 $0 "${U+201A}" "${U+201A}${U+201A}"
  ${StrRep} $0 $0 "${U+201B}" "${U+201B}${U+201B}"
  ${DisableX64FSRedirection}
  nsExec::Exec `${POWERSHELL} "$$p = '$0\${PACKAGE_NAME}.msix'; $$x = '$0'; \
      try { Add-AppxPackage -Path $$p -ExternalLocation $$x -ForceUpdateFromAnyVersion \
      -DeferRegistrationWhenPackagesAreInUse -ErrorAction Stop } catch { \
      Get-AppxPackage -Name ${PACKAGE_NAME} | Remove-AppxPackage; \
      Add-AppxPackage -Path $$p -ExternalLocation $$x }"`
  Pop $1  ; the exit code, or "error"
  ${EnableX64FSRedirection}
  ${If} $1 != 0
    MessageBox MB_ICONEXCLAMATION "Windows did not register Zelvane's package (PowerShell: $1), so \
        Zelvane is not in the first context menu of Windows 11. It is under $\"Show more \
        options$\"." /SD IDOK
  ${EndIf}
FunctionEnd
!endif

; Last: the tray program the upgrade closed runs again, the new one.
Section "-Restart"
  Call RestartTrayProgram
SectionEnd

; The tray program setup closed starts again, in its own folder; also after a failed setup.
Function RestartTrayProgram
  ${If} $TrayWasRunning != ""
  ${AndIf} ${FileExists} "$INSTDIR\Zelvane.exe"
    SetOutPath "$INSTDIR"
    Exec '"$INSTDIR\Zelvane.exe"'
  ${EndIf}
FunctionEnd

Function .onInstFailed
  Call RestartTrayProgram
FunctionEnd

; Off unless chosen: the same value the program's own "Start with Windows" writes, quoted, and
; as there, chosen again it also undoes a "Disabled" in Task Manager.
Section /o "Start with Windows" SecAutostart
  WriteRegStr HKCU "${RUN_KEY}" "Zelvane" '"$INSTDIR\Zelvane.exe"'
  DeleteRegValue HKCU "${APPROVED_KEY}" "Zelvane"
SectionEnd

Function .onInit
  ; The shell extension must match the shell: a 64-bit Explorer loads only 64-bit libraries and
  ; reads the 64-bit view of the registry.
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
  ; /AUTOSTART chooses "Start with Windows" without the components page (for silent installs).
  ${GetParameters} $R0
  ClearErrors
  ${GetOptions} $R0 "/AUTOSTART" $R1
  ${IfNot} ${Errors}
    !insertmacro SelectSection ${SecAutostart}
  ${EndIf}
FunctionEnd

; Deletes $INSTDIR\$R1. One still in use moves to the user's temporary folder, and a per-user
; RunOnce value deletes it at the next logon: unlike a delete at restart
; (MOVEFILE_DELAY_UNTIL_REBOOT), that needs no administrator rights.
Function un.RemoveFile
  ; A program that has just ended may keep its file a moment longer: a few tries first.
  ${For} $R6 1 5
    Delete "$INSTDIR\$R1"
    ${IfNotThen} ${FileExists} "$INSTDIR\$R1" ${|} ${Break} ${|}
    Sleep 200
  ${Next}
  StrCpy $R0 "$INSTDIR"
  StrCpy $R2 "$TEMP"
  Call un.MoveAside
  ${UnStrStr} $R5 $R3 "%"  ; cmd would expand a %name% in the path
  ${If} $R3 != ""
  ${AndIf} $R5 == ""
    WriteRegStr HKCU "${RUNONCE_KEY}" "Zelvane $R1.$R4${LEFTOVER}" '"$SYSDIR\cmd.exe" /d /v:off /c del /f /q "$R3"'
  ${ElseIf} ${FileExists} "$INSTDIR\$R1"
    Delete /REBOOTOK "$INSTDIR\$R1"  ; with administrator rights only
    MessageBox MB_ICONEXCLAMATION "$INSTDIR\$R1 is in use and stays." /SD IDOK
    SetErrorLevel 2
  ${EndIf}
FunctionEnd

!macro RemoveFile NAME
  StrCpy $R1 "${NAME}"
  Call un.RemoveFile
!macroend

Section "Uninstall"
  Call un.CloseTrayProgram
  ; Before the files go: the package names them. Whatever setup this uninstaller came with: a
  ; signed one, or a user in Developer Mode, may have registered a package.
  ${If} ${RunningX64}
  ${AndIf} ${AtLeastBuild} 22000
    ${DisableX64FSRedirection}
    nsExec::Exec `${POWERSHELL} "Get-AppxPackage -Name ${PACKAGE_NAME} | Remove-AppxPackage"`
    Pop $0
    ${EnableX64FSRedirection}
    ${If} $0 != 0
      MessageBox MB_ICONEXCLAMATION "Windows did not remove Zelvane's package (PowerShell: $0)." \
          /SD IDOK
    ${EndIf}
  ${EndIf}
  ; Whichever setup put them there.
  Delete "$INSTDIR\${PACKAGE_NAME}.msix"
  Delete "$INSTDIR\Assets\*.png"
  RMDir "$INSTDIR\Assets"
  DeleteRegKey HKCU "${HANDLER_KEY}"
  DeleteRegKey HKCU "${CLASS_KEY}"
  DeleteRegValue HKCU "${RUN_KEY}" "Zelvane"
  DeleteRegValue HKCU "${APPROVED_KEY}" "Zelvane"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$SMPROGRAMS\Zelvane.lnk"
  ; Explorer may still hold the library, and an upgrade may have set files aside.
  !insertmacro RemoveFile zelshell.dll
  !insertmacro RemoveFile Zelvane.exe
  !insertmacro RemoveFile zelmenu.exe
  !insertmacro RemoveFile Editor.exe
  FindFirst $0 $1 "$INSTDIR\*${LEFTOVER}"
  ${DoWhile} $1 != ""
    !insertmacro RemoveFile $1
    FindNext $0 $1
  ${Loop}
  FindClose $0
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ; $APPDATA\Zelvane\Menu.txt is the user's own: it stays.
SectionEnd
