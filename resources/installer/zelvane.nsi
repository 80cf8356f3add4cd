; Zelvane's setup program: installs the 32-bit or the 64-bit set, whichever fits the Windows it
; runs on, for the current user only (no administrator rights), with a Start-menu entry and,
; optionally, start with Windows. The uninstaller never touches the user's menu file.
;
; makensis -DVERSION=<x.y.z> -DDIST=<dist folder> -DOUTFILE=<setup.exe> [-DX64] zelvane.nsi
; X64: the same setup as a 64-bit program (which always installs the 64-bit set), for testing on
; machines that cannot run 32-bit programs. The shipped setup is the 32-bit one.

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
${StrStr}

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
!define CLASS_KEY "${CLASSES}\CLSID\${CLSID}"
!define HANDLER_KEY "${CLASSES}\${HANDLER}"
!define UNINSTALL_KEY "Software\Microsoft\Windows\CurrentVersion\Uninstall\Zelvane"
!define RUN_KEY "SOFTWARE\MICROSOFT\WINDOWS\CURRENTVERSION\RUN"
; Where Task Manager keeps a Run value switched off.
!define APPROVED_KEY "Software\Microsoft\Windows\CurrentVersion\Explorer\StartupApproved\Run"

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


Function un.onInit
  ${If} ${RunningX64}
    SetRegView 64
  ${EndIf}
FunctionEnd

Section "Zelvane" SecMain
  SectionIn RO
  SetOutPath "$INSTDIR"
  ${If} ${RunningX64}
    File "${DIST}\win64\Zelvane.exe"
    File "${DIST}\win64\zelshell.dll"
    File "${DIST}\win64\zelmenu.exe"
    File "${DIST}\win64\Editor.exe"
  ${Else}
    File "${DIST}\win32\Zelvane.exe"
    File "${DIST}\win32\zelshell.dll"
    File "${DIST}\win32\zelmenu.exe"
    File "${DIST}\win32\Editor.exe"
  ${EndIf}

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

  CreateShortCut "$SMPROGRAMS\Zelvane.lnk" "$INSTDIR\Zelvane.exe"

  WriteUninstaller "$INSTDIR\uninstall.exe"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayName" "Zelvane"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "DisplayVersion" "${VERSION}"
  WriteRegStr HKCU "${UNINSTALL_KEY}" "UninstallString" '"$INSTDIR\uninstall.exe"'
  WriteRegStr HKCU "${UNINSTALL_KEY}" "InstallLocation" "$INSTDIR"
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoModify" 1
  WriteRegDWORD HKCU "${UNINSTALL_KEY}" "NoRepair" 1
SectionEnd

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

Section "Uninstall"
  DeleteRegKey HKCU "${HANDLER_KEY}"
  DeleteRegKey HKCU "${CLASS_KEY}"
  DeleteRegValue HKCU "${RUN_KEY}" "Zelvane"
  DeleteRegValue HKCU "${APPROVED_KEY}" "Zelvane"
  DeleteRegKey HKCU "${UNINSTALL_KEY}"
  Delete "$SMPROGRAMS\Zelvane.lnk"
  ; Explorer may still hold the library: then it goes at the next restart.
  Delete /REBOOTOK "$INSTDIR\zelshell.dll"
  Delete "$INSTDIR\Zelvane.exe"
  Delete "$INSTDIR\zelmenu.exe"
  Delete "$INSTDIR\Editor.exe"
  Delete "$INSTDIR\uninstall.exe"
  RMDir /REBOOTOK "$INSTDIR"
  ; $APPDATA\Zelvane\Menu.txt is the user's own: it stays.
SectionEnd
